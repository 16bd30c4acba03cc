// What the DFU engine's tests share: a recorder behind the engine's plain C
// callbacks (log lines, progress steps, scripted answers, trace output) and a
// virtual clock for the engine's time seam, on which every wait passes at
// once and time moves a millisecond whenever the engine looks at it.
#pragma once

#include "firmware/dfuengine.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct DfuLogLine {
    std::string text;
    int kind;
};

class DfuRecorder {
public:
    static DfuRecorder& instance()
    {
        static DfuRecorder recorder;
        return recorder;
    }
    static void log(const char* text, int kind)
    {
        DfuRecorder& r = instance();
        std::lock_guard<std::mutex> lock(r.m_mutex);
        r.m_lines.push_back({text, kind});
    }
    static void progress(int step)
    {
        DfuRecorder& r = instance();
        std::lock_guard<std::mutex> lock(r.m_mutex);
        r.m_steps.push_back(step);
    }
    static int ask(const char* question)
    {
        DfuRecorder& r = instance();
        std::lock_guard<std::mutex> lock(r.m_mutex);
        r.m_questions.push_back(question);
        if (r.m_answers.empty())
            return 0;
        const int answer = r.m_answers.front();
        r.m_answers.pop_front();
        return answer;
    }
    static void trace(int stream, const char* text)
    {
        DfuRecorder& r = instance();
        std::lock_guard<std::mutex> lock(r.m_mutex);
        r.m_trace[stream == 1 ? 0 : 1] += text;
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
        m_steps.clear();
        m_questions.clear();
        m_answers.clear();
        m_trace[0].clear();
        m_trace[1].clear();
    }
    void answer(std::vector<int> answers)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers.assign(answers.begin(), answers.end());
    }
    std::vector<DfuLogLine> lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    std::vector<int> steps() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_steps;
    }
    std::vector<std::string> questions() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_questions;
    }
    std::string standardOutput() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_trace[0];
    }
    std::string standardError() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_trace[1];
    }
    // The red lines, in order.
    std::vector<std::string> failures() const
    {
        std::vector<std::string> red;
        for (const DfuLogLine& l : lines())
            if (l.kind == DFU_LOG_FAILURE)
                red.push_back(l.text);
        return red;
    }
    // Lines of either kind that hold the fragment.
    int count(const std::string& fragment) const
    {
        int n = 0;
        for (const DfuLogLine& l : lines())
            n += l.text.find(fragment) != std::string::npos;
        return n;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<DfuLogLine> m_lines;
    std::vector<int> m_steps;
    std::vector<std::string> m_questions;
    std::deque<int> m_answers;
    std::string m_trace[2];
};

namespace dfuclock {
inline std::atomic<uint64_t> g_nowMs{1000000};
inline void sleepMs(uint32_t ms)
{
    g_nowMs += ms;
}
inline uint64_t monotonicMs(void)
{
    return ++g_nowMs;
}
inline int64_t wallSeconds(void)
{
    return int64_t(g_nowMs.load() / 1000);
}
inline const DfuTiming kVirtual = {sleepMs, monotonicMs, wallSeconds};
} // namespace dfuclock

// For a test's lifetime: the virtual clock, the trace into the recorder, a clean recorder.
struct DfuTestScope {
    DfuTestScope()
    {
        dfu_set_timing(&dfuclock::kVirtual);
        dfu_set_trace(DfuRecorder::trace);
        DfuRecorder::instance().clear();
    }
    ~DfuTestScope()
    {
        dfu_set_timing(nullptr);
        dfu_set_trace(nullptr);
    }
    DfuTestScope(const DfuTestScope&) = delete;
    DfuTestScope& operator=(const DfuTestScope&) = delete;
};

#include "firmware/dfucore.h"

#include <functional>

// Runs one layer of the engine under its error exit, with the recorder as the
// callbacks: the exit code, DFU_NO_EXIT when the layer returned by itself.
inline int runDfuLayer(const std::function<void()>& body)
{
    dfu_set_callbacks(DfuRecorder::log, DfuRecorder::progress, DfuRecorder::ask);
    const int code = dfu_run_guarded(body);
    dfu_set_callbacks(nullptr, nullptr, nullptr);
    return code;
}

// Empty when a layer ended as a table row expects: by itself and with no red
// line when red is empty, else through the error exit with exactly that one
// red line; otherwise what differs.
inline std::string dfuOutcomeMismatch(int exitCode, const std::string& red)
{
    const std::vector<std::string> failures = DfuRecorder::instance().failures();
    const bool exited = exitCode != DFU_NO_EXIT;
    if (red.empty() ? (!exited && failures.empty()) : (exited && failures == std::vector<std::string>{red}))
        return std::string();
    std::string what = exited ? "left through the error exit; red lines:" : "returned; red lines:";
    for (const std::string& f : failures)
        what += " [" + f + "]";
    return what;
}
