#include "pages/qcustomds.h"

#include "link/connectionsettings.h"
#include "pages/canlinkchannel.h"
#include "pages/customdsloadthread.h"
#include "pages/customdssavethread.h"
#include "pages/guiinbox.h"
#include "pages/userinputhold.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QStringList>

#include <thread>
#include <vector>

namespace {
constexpr uint8_t kFallbackNodeIds[] = {31, 127};
}

QCustomDS::QCustomDS(QObject* parent) : QCustomDS(std::make_shared<CanLinkChannel>(), parent)
{
}

QCustomDS::QCustomDS(std::shared_ptr<SdoChannel> channel, QObject* parent)
    : QObject(parent),
      m_channel(std::move(channel)),
      m_load(std::make_unique<CustomDSLoadThread>(m_channel)),
      m_save(std::make_unique<CustomDSSaveThread>(m_channel))
{
    registerCustomParamMetaType();
    GuiInbox::ensure();
    CustomDSLoadThread* load = m_load.get();
    CustomDSSaveThread* save = m_save.get();
    // The workers' reports reach the slots on the GUI thread through the inbox,
    // whose hand-over the thread checker sees (Qt's own event queue it cannot).
    connect(load, &CustomDSLoadThread::paramLoaded, this,
            [this](QString name) { toGui([this, name] { slotParamLoaded(name); }); }, Qt::DirectConnection);
    connect(load, &CustomDSLoadThread::connectionError, this,
            [this] { toGui([this] { slotConnectionError(); }); }, Qt::DirectConnection);
    // The first failure of a parameter on a link is worth a line; the next
    // ones, every round, would bury the log.
    connect(load, &CustomDSLoadThread::firstLoadingFail, this,
            [this](QString message) { toGui([this, message] { emit toLog(message, false); }); },
            Qt::DirectConnection);
    connect(save, &CustomDSSaveThread::paramSaved, this,
            [this](QString name) { toGui([this, name] { slotParamSaved(name); }); }, Qt::DirectConnection);
    connect(save, &CustomDSSaveThread::paramsSaved, this,
            [this] { toGui([this] { slotParamsSaved(); }); }, Qt::DirectConnection);
    connect(save, &CustomDSSaveThread::connectionError, this,
            [this] { toGui([this] { slotConnectionError(); }); }, Qt::DirectConnection);
    connect(save, &CustomDSSaveThread::paramSavingFail, this,
            [this](QString message) { toGui([this, message] { slotParamSaveError(message); }); },
            Qt::DirectConnection);
    connect(save, &CustomDSSaveThread::afterRestoredDefault, this,
            [this] { toGui([this] { slotAfterRestoredDefault(); }); }, Qt::DirectConnection);
    connect(save, &CustomDSSaveThread::afterReboot, this,
            [this] { toGui([this] { slotAfterReboot(); }); }, Qt::DirectConnection);
    connect(this, &QCustomDS::signalClearData, save, &CustomDSSaveThread::clearData, Qt::DirectConnection);
    connect(this, &QCustomDS::signalClearData, load, &CustomDSLoadThread::clearData, Qt::DirectConnection);
}

void QCustomDS::toGui(std::function<void()> slot)
{
    // Runs only while this object lives and the link is the one it was posted for.
    GuiInbox::post([alive = m_alive, epoch = m_epoch.load(), slot = std::move(slot), this] {
        if (*alive && epoch == m_epoch.load())
            slot();
    });
}

QCustomDS::~QCustomDS()
{
    *m_alive = false;
    // The link's own threads end with it; disconnectDevice stops the workers first.
    disconnectDevice();
    // Both end before either goes: a round may be waiting on the other's exchange.
    m_load->stopProcess();
    m_save->stopProcess();
    m_load.reset();
    m_save.reset();
}

namespace {
// What the GUI thread saw while it waited beside a worker.
struct GuiWait {
    QList<QPointer<QWidget>> closeRequests; // windows whose close the user asked for
    bool quitRequested = false;             // the application was asked to quit
};

// Runs `work` on a thread of its own while the calling GUI thread keeps its
// event loop turning: the window repaints and timers run, and the user's
// input is dropped, so no user action starts meanwhile or afterwards.
// Returns once `work` has returned; `onQuit` runs on the GUI thread as soon as
// the application is asked to quit meanwhile, so that `work` may give up early.
GuiWait runBesideTheGui(const std::function<void()>& work, const std::function<void()>& onQuit)
{
    UserInputHold hold;
    QEventLoop loop;
    bool done = false; // GUI thread only
    std::thread worker([&] {
        work();
        GuiInbox::post([&] {
            done = true;
            loop.quit();
        });
    });
    // Only the posted end leaves the loop, or the application's quit: from
    // then on exec() returns at once, so the rest of the wait sleeps until
    // the next event instead, which the posted end is.
    loop.exec();
    GuiWait seen;
    seen.quitRequested = !done;
    if (seen.quitRequested)
        onQuit();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    seen.closeRequests = hold.end();
    return seen;
}

QString idList(const std::vector<uint8_t>& ids)
{
    QStringList texts;
    for (uint8_t id : ids)
        texts << QString::number(id);
    return texts.join(QStringLiteral(", "));
}
}

bool QCustomDS::connectDevice()
{
    if (m_connected)
        return true;
    // No worker talks to the device until it is found, and nothing they
    // reported about an earlier link is taken for news of this one.
    stopWorkers();
    ++m_epoch;
    m_probeGiveUp = false;

    ConnectionSettings& settings = connectionSettings();
    // An id outside 1..127 is no CANopen node: go straight to the well-known ids.
    std::vector<uint8_t> candidates;
    if (isValidNodeId(settings.nodeId))
        candidates.push_back(settings.nodeId);
    for (uint8_t id : kFallbackNodeIds)
        if (candidates.empty() || candidates.front() != id)
            candidates.push_back(id);

    // Opening the port and a probe of a silent device take seconds: the GUI
    // thread waits for them without blocking its window.
    const QString portName = settings.portName; // the name the user gave (ttyUSB0 or a path)
    const int canBusAccess = settings.canBusAccess;
    const QString bitRate = settings.baudRate;
    SdoChannel::LinkOpen opened = SdoChannel::LinkOpen::NoPort;
    QString portFailure;
    int found = -1;
    const GuiWait seen = runBesideTheGui([&] {
        opened = m_channel->openLink(portName, canBusAccess, bitRate, &portFailure);
        if (opened != SdoChannel::LinkOpen::Open)
            return;
        for (uint8_t id : candidates) {
            if (probeNode(id)) {
                found = id;
                return;
            }
        }
        m_channel->closeLink();
    }, [this] { m_probeGiveUp = true; });
    m_closeRequests = seen.closeRequests;
    m_quitRequested = seen.quitRequested;
    if (m_quitRequested) {
        // The tool is ending: a device found meanwhile is let go unused.
        if (found >= 0)
            m_channel->closeLink();
        emit setToolsEnabled(false);
        return false;
    }

    switch (opened) {
    case SdoChannel::LinkOpen::Open:
        break;
    case SdoChannel::LinkOpen::NoPort:
        emit toLog(noPortLine(portFailure), false);
        emit setToolsEnabled(false);
        return false;
    case SdoChannel::LinkOpen::NoBitRate:
        emit toLog(QStringLiteral("Не удалось установить скорость соединения."), false);
        emit setToolsEnabled(false);
        return false;
    }
    if (found < 0) {
        // The link is closed again; the main window decides what follows.
        emit toLog(QStringLiteral("Устройство не отвечает (id: %1).").arg(idList(candidates)), false);
        emit setToolsEnabled(false);
        return false;
    }
    settings.nodeId = uint8_t(found);

    m_connected = true;
    m_linkLost = false;
    WorkerSettings ws;
    ws.nodeId = settings.nodeId;
    ws.responseTimeoutMs = settings.responseTimeoutMs;
    ws.writeWaitMs = m_timing.writeWaitMs;
    ws.roundIntervalMs = m_timing.roundIntervalMs;
    m_load->setSettings(ws);
    m_save->setSettings(ws);
    m_load->forgetFailures();
    m_load->startProcess();
    m_save->startProcess();
    emit setToolsEnabled(true);
    return true;
}

bool QCustomDS::closeRequestedDuringConnect(const QWidget* window) const
{
    for (const QPointer<QWidget>& w : m_closeRequests)
        if (w && w.data() == window)
            return true;
    return false;
}

bool QCustomDS::probeNode(uint8_t nodeId)
{
    if (!isValidNodeId(nodeId))
        return false;
    const std::lock_guard<std::mutex> exchange(m_channel->requestLock());
    m_channel->pointClientAt(nodeId);
    // Any answer counts: the value is not looked at.
    // A tool that is quitting tries no more.
    for (int i = 0; i < SDO_REQUEST_TRIES && !m_probeGiveUp; ++i)
        if (m_channel->read(nodeId, 0x2000, 1, 0x06, m_timing.probeWaitMs).ok)
            return true;
    return false;
}

bool QCustomDS::disconnectDevice()
{
    if (!m_connected)
        return true;
    // The workers end before the link goes from under them.
    stopWorkers();
    const bool closed = m_channel->closeLink();
    if (!closed)
        emit toLog(QStringLiteral("Не удалось разорвать usb-can соединение."), false);
    m_connected = false;
    ++m_epoch;
    return closed;
}

void QCustomDS::stopWorkers()
{
    m_load->stopProcess();
    m_save->stopProcess();
    if (!m_load->stopAndJoin(m_load->joinBoundMs()))
        qWarning() << "data source: the load worker is still in an exchange";
    if (!m_save->stopAndJoin(m_save->joinBoundMs()))
        qWarning() << "data source: the save worker is still in an exchange";
}

void QCustomDS::clearData()
{
    emit signalClearData();
}

void QCustomDS::slotSave(SPCustomParam param, std::function<void(bool)> callback)
{
    if (!param)
        return;
    stopLoad();
    m_save->enqueue(param, std::move(callback));
}

void QCustomDS::slotLoad(SPCustomParam param, std::function<void(bool)> callback)
{
    m_load->enqueue(param, std::move(callback));
}

void QCustomDS::slotParamLoaded(QString)
{
}

void QCustomDS::slotParamSaved(QString)
{
}

void QCustomDS::slotParamsSaved()
{
    startLoadWhenClear();
}

void QCustomDS::slotParamSaveError(QString errorMsg)
{
    startLoadWhenClear();
    emit toLog(errorMsg, false);
}

void QCustomDS::slotConnectionError()
{
    // Both workers may find the link gone; the main window hears it once.
    if (!m_connected || m_linkLost)
        return;
    m_linkLost = true;
    emit signalConnectionError();
}

void QCustomDS::stopLoad()
{
    if (!m_load->stopAndJoin(m_load->joinBoundMs()))
        qWarning() << "data source: the load worker is still in an exchange";
}

void QCustomDS::startLoad()
{
    startLoadWhenClear();
}

void QCustomDS::startLoadWhenClear()
{
    if (m_connected && !m_linkLost && m_save->pendingCount() == 0)
        m_load->startProcess();
}

void QCustomDS::slotAfterRestoredDefault()
{
    emit signalAfterRestoredDefault();
}

void QCustomDS::slotAfterReboot()
{
    emit signalAfterReboot();
}
