// A simulated CANopen device: a small SDO server of its own (expedited and
// segmented upload and download, after CiA 301) over a table of typed objects,
// with fault knobs. The core takes one frame and gives the frames it answers;
// attach() plugs it into a SimAdapter so the host reaches it over the pty.
//
// Knobs: silence, a delay per object, an abort code per object, a wrong
// toggle bit, a last upload segment shorter than announced, an initiate
// answer naming another object, and boot-up after a silence (on demand or
// after a write to a chosen object).
#pragma once

#include "canopen/canframe.h"
#include "sim/simadapter.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class SimCanDevice {
public:
    enum Access { ReadWrite, ReadOnly, WriteOnly };

    struct Reply {
        std::vector<CanFrame> frames;
        int delayMs = 0;        // before the frames go out
        int rebootAfterMs = -1; // silent from now, boot-up after this long
    };

    explicit SimCanDevice(uint8_t nodeId);
    ~SimCanDevice();
    SimCanDevice(const SimCanDevice&) = delete;
    SimCanDevice& operator=(const SimCanDevice&) = delete;

    uint8_t nodeId() const { return m_nodeId; }

    // Objects. Types of fixed size take writes of exactly that size; DOMAIN,
    // VISIBLE_STRING and OCTET_STRING take any length.
    void addObject(uint16_t index, uint8_t subIndex, uint8_t dataType, const QByteArray& value,
                   Access access = ReadWrite);
    QByteArray value(uint16_t index, uint8_t subIndex) const;
    void setValue(uint16_t index, uint8_t subIndex, const QByteArray& value);
    int writesTo(uint16_t index, uint8_t subIndex) const;

    // Fault knobs.
    void setSilent(bool silent);
    void setDelay(uint16_t index, uint8_t subIndex, int ms);
    void setAbort(uint16_t index, uint8_t subIndex, uint32_t code);
    void setWrongToggle(uint16_t index, uint8_t subIndex);      // on the second segment
    void setShortLastSegment(uint16_t index, uint8_t subIndex, int missingBytes);
    void setAnswerOther(uint16_t index, uint8_t subIndex, uint16_t otherIndex, uint8_t otherSubIndex);
    void setRebootOnWrite(uint16_t index, uint8_t subIndex, int silenceMs);
    void clearFaults();

    // The core: one frame from the bus, what the device answers.
    Reply receive(const CanFrame& frame);
    CanFrame bootUpFrame() const;
    // Abort codes the host sent to the device, in order: the last
    // kKeptAborts, so that a device serving for days holds no more.
    enum : size_t { kKeptAborts = 4096 };
    std::vector<uint32_t> abortsReceived() const;
    int requestsSeen() const;
    // Upload initiates the device answered for one object (aborted ones too).
    int uploadsOf(uint16_t index, uint8_t subIndex) const;
    // Requests that came while an earlier transfer was still going on: while
    // a delayed answer was not yet sent, or an initiate while a segmented
    // transfer was open. A client with one request in flight makes none.
    int overlapsSeen() const;

    // Over the pty: answers go through the adapter, delays and boot-ups run
    // on a thread of the device's own.
    void attach(SimAdapter* adapter);
    void detach();
    // Silent from now; boot-up frame after silenceMs (attached only).
    void rebootAfter(int silenceMs);

private:
    struct Object {
        uint8_t dataType = 0;
        Access access = ReadWrite;
        QByteArray value;
        int writes = 0;
    };
    struct Faults {
        int delayMs = 0;
        uint32_t abortCode = 0;
        bool wrongToggle = false;
        int shortBy = 0;
        bool answerOther = false;
        uint16_t otherIndex = 0;
        uint8_t otherSubIndex = 0;
        int rebootSilenceMs = -1;
    };
    enum class Transfer { None, Download, Upload };
    using Key = uint32_t;
    static Key key(uint16_t index, uint8_t subIndex) { return uint32_t(index) << 8 | subIndex; }

    Reply handleRequest(const uint8_t* d);
    // What both initiates start with: the address, the end of any open
    // transfer, the object's knobs, and lookUp's object (non-owning) or refusal.
    struct Initiate {
        uint16_t index;
        uint8_t subIndex;
        Faults faults;
        Object* object;
        uint32_t refusal;
    };
    Initiate beginInitiate(const uint8_t* d);
    Reply initiateDownload(const uint8_t* d);
    Reply downloadSegment(const uint8_t* d);
    Reply initiateUpload(const uint8_t* d);
    Reply uploadSegment(const uint8_t* d);
    Reply abortReply(uint16_t index, uint8_t subIndex, uint32_t code);
    // The answer frame d, sent after delayMs.
    Reply frameReply(const uint8_t* d, int delayMs) const;
    // The object an initiate names: 0 and the object, or the abort code of
    // the object's abort knob, else for a missing object or sub-index.
    uint32_t lookUp(uint16_t index, uint8_t subIndex, Object** object);
    uint32_t checkWrite(const Object& object, int size) const;
    // Writes a whole value: 0, or the abort code when the object refuses it.
    uint32_t store(Object& object, const QByteArray& value);
    // Opens the one transfer: data is what an upload's segments carry, empty
    // for a download, whose segments fill it.
    void openTransfer(Transfer kind, uint16_t index, uint8_t subIndex, const QByteArray& data);
    // 0 when a segment request carrying toggle goes on the open transfer of
    // the expected kind, else the abort code.
    uint32_t segmentRefusal(Transfer expected, int toggle) const;
    // The toggle bit a segment's answer carries, the other one on the
    // wrong-toggle knob's segment; counts the segment.
    int answerToggle(const Faults& f, int toggle, bool last);
    Faults faultsFor(uint16_t index, uint8_t subIndex) const;
    void answerNames(uint8_t* d, uint16_t index, uint8_t subIndex) const;

    void deliver(Reply reply);
    void runTimers();
    void schedule(int ms, std::function<void()> action);

    const uint8_t m_nodeId;
    mutable std::mutex m_mutex;
    std::map<Key, Object> m_objects;
    std::map<Key, Faults> m_faults;
    bool m_silent = false;
    std::deque<uint32_t> m_aborts;
    int m_requests = 0;
    std::map<Key, int> m_uploads;
    int m_pendingAnswers = 0; // delayed answers not yet sent
    int m_overlaps = 0;

    // The one transfer in progress.
    Transfer m_transfer = Transfer::None;
    uint16_t m_index = 0;
    uint8_t m_subIndex = 0;
    QByteArray m_data;
    int m_announced = -1;
    int m_position = 0;
    int m_toggle = 0;
    int m_segments = 0;

    // Attached mode.
    using Clock = std::chrono::steady_clock;
    SimAdapter* m_adapter = nullptr;
    std::thread m_timerThread;
    std::mutex m_timerMutex;
    std::condition_variable m_timerCond;
    std::multimap<Clock::time_point, std::function<void()>> m_timers;
    bool m_timerStop = false;
};

// A number as an object's value: little-endian, `bytes` long.
inline QByteArray littleEndian(uint64_t value, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char(value >> (8 * i)));
    return b;
}

// A simulated adapter with a device behind it on one pty, taken down in the
// order that keeps both threads off freed objects.
struct SimDeviceOnPty {
    explicit SimDeviceOnPty(uint8_t nodeId) : device(nodeId) { device.attach(&adapter); }
    ~SimDeviceOnPty() { device.detach(); }
    SimCanDevice device;
    SimAdapter adapter;
};
