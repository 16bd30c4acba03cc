#include "pages/guiinbox.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

struct Inbox
{
    std::mutex mutex;
    std::vector<std::function<void()>> items;
    int fd = -1;
};

// Never destroyed: a worker may still post while the process exits.
Inbox &inbox()
{
    static Inbox *const box = [] {
        auto *b = new Inbox;
        b->fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        return b;
    }();
    return *box;
}

void drain()
{
    Inbox &box = inbox();
    uint64_t count = 0;
    while (read(box.fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
    std::vector<std::function<void()>> items;
    {
        const std::lock_guard<std::mutex> lock(box.mutex);
        items.swap(box.items);
    }
    for (const auto &fn : items)
        fn();
}

} // namespace

void GuiInbox::ensure()
{
    static QPointer<QSocketNotifier> notifier;
    if (notifier || !QCoreApplication::instance() || inbox().fd < 0)
        return;
    // Owned by the application object, so that it goes in time with the event loop.
    notifier = new QSocketNotifier(inbox().fd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier.data(), &QSocketNotifier::activated, notifier.data(), [] { drain(); });
}

void GuiInbox::post(std::function<void()> fn)
{
    Inbox &box = inbox();
    {
        const std::lock_guard<std::mutex> lock(box.mutex);
        box.items.push_back(std::move(fn));
    }
    const uint64_t one = 1;
    while (write(box.fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}
