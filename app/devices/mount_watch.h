#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

// True when path is the mount point itself or lies below it ("/media/card" holds "/media/card/"
// and "/media/card/a", not "/media/card2/"). An unmounted point usually stays behind as an empty
// folder, so a card root that still exists after a removal may still have lost its volume.
bool IsPathOnMount(const std::string &path, const std::string &mountPoint);

// Reports volume removals: watches the process's mount table, which the kernel marks with
// POLLPRI|POLLERR whenever a file system is mounted, unmounted or moved, and on each change
// calls the handler once for every mount point that has fewer mounts than at the last look, in
// path order. Arrivals are not reported. Runs on the thread of its Qt event loop. The handler may
// call Stop, but must not destroy the watch.
class CMountWatch
{
public:
    // mountPoint: the path as the kernel has it (bytes, escapes undone), without a trailing '/'.
    using RemovedHandler = std::function<void(const std::string &mountPoint)>;

    explicit CMountWatch(RemovedHandler onRemoved);
    ~CMountWatch();
    CMountWatch(const CMountWatch &) = delete;
    CMountWatch &operator=(const CMountWatch &) = delete;

    // Takes the table as it is now and starts watching. False when the table cannot be read.
    bool Start();
    void Stop();
    bool IsWatching() const { return m_nFd >= 0; }

private:
    bool ReadTable(std::vector<std::string> &points) const;
    void OnTableChanged();

    int m_nHandlerDepth = 0; // > 0 while the handler runs: the notifier is then deleted later

    RemovedHandler m_onRemoved;
    int m_nFd = -1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::vector<std::string> m_points; // sorted, one entry per mount
};
