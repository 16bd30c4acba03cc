// The exclusive mark (TIOCEXCL) a host left behind on the simulator's line.
//
// The tool marks its port while it has it and clears the mark as it lets go.
// A host that ends without letting go (killed, crashed) leaves the mark on
// the pty slave, which lives on while the simulator keeps the master open:
// the kernel then refuses every later open of the line by a normal user, and
// the tool refuses a marked line also as root. So the simulator clears a
// mark that nobody stands behind any more: no program holds a lock on the
// line (the tool holds its advisory lock for as long as it has the line) and
// no program but the simulator has the line open. A mark that a live program
// set, with or without a lock, stays.
//
// Who has the line open is counted from the slave's open and close events
// (inotify), which tell of every program whatever its user. When those are
// not to be had (no inotify instance left, events lost), the descriptors in
// /proc that the simulator may read are looked at instead. Locks are read
// from /proc/locks. Nothing here takes the line's lock, so a host's open
// never meets the simulator in its way.
#pragma once

#include <string>
#include <sys/types.h>

class StaleMarkSweeper {
public:
    // Opens a descriptor of the line: made before any host can mark the line
    // (before its path is given out), as a normal user can clear the mark
    // only through a descriptor opened while it was not set. Opens made
    // before this object are the simulator's own and are not counted.
    explicit StaleMarkSweeper(const std::string& slavePath);
    ~StaleMarkSweeper();
    StaleMarkSweeper(const StaleMarkSweeper&) = delete;
    StaleMarkSweeper& operator=(const StaleMarkSweeper&) = delete;

    // Clears the mark when nobody stands behind it; true when it did.
    bool sweep();

private:
    bool marked() const;
    bool lockHeld() const;
    // Reads the events that came since the last call.
    bool othersHaveLine();
    bool othersInProc() const;
    void stopWatching();

    int m_slave = -1;
    dev_t m_fsDevice = 0; // the file system of the slave's path, for /proc/locks
    ino_t m_inode = 0;
    dev_t m_line = 0;     // the slave's device number, for /proc/*/fd
    int m_inotify = -1;
    int m_opens = 0;      // opens of the line since the watch began, less closes
};
