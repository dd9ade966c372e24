#include "app/devices/mount_watch.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_open.h"
#include "platform/removable_volumes.h"

namespace {

// A mount table far beyond any real one is not read into memory.
constexpr size_t kMaxTableBytes = 64u << 20;

} // namespace

bool IsPathOnMount(const std::string &path, const std::string &mountPoint)
{
    std::string point = mountPoint;
    while (point.size() > 1 && point.back() == '/')
        point.pop_back();
    if (point.empty() || path.compare(0, point.size(), point) != 0)
        return false;
    return path.size() == point.size() || point == "/" || path[point.size()] == '/';
}

CMountWatch::CMountWatch(RemovedHandler onRemoved) : m_onRemoved(std::move(onRemoved)) {}

CMountWatch::~CMountWatch()
{
    Stop();
}

bool CMountWatch::Start()
{
    Stop();
    m_nFd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (m_nFd < 0)
        return false;
    if (!ReadTable(m_points)) {
        Stop();
        return false;
    }
    m_pNotifier = std::make_unique<QSocketNotifier>(m_nFd, QSocketNotifier::Exception);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(),
                     [this] { OnTableChanged(); });
    return true;
}

void CMountWatch::Stop()
{
    if (m_pNotifier) {
        // Stop may come from the handler, inside the notifier's own signal.
        m_pNotifier->setEnabled(false);
        if (m_nHandlerDepth > 0)
            m_pNotifier.release()->deleteLater();
        else
            m_pNotifier.reset();
    }
    if (m_nFd >= 0)
        ::close(m_nFd);
    m_nFd = -1;
    m_points.clear();
}

bool CMountWatch::ReadTable(std::vector<std::string> &points) const
{
    // The file is re-read from its start through the watched descriptor itself.
    if (::lseek(m_nFd, 0, SEEK_SET) < 0)
        return false;
    std::string text;
    if (!ReadToEnd(m_nFd, kMaxTableBytes, &text))
        return false;
    points = ParseMountPoints(text);
    std::sort(points.begin(), points.end());
    return true;
}

void CMountWatch::OnTableChanged()
{
    std::vector<std::string> now;
    if (!ReadTable(now))
        return; // the next change reads it again
    // One report per mount gone: with stacked mounts only the count at a point tells.
    std::vector<std::string> gone;
    std::set_difference(m_points.begin(), m_points.end(), now.begin(), now.end(),
                        std::back_inserter(gone));
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    m_points = std::move(now);
    ++m_nHandlerDepth;
    for (const std::string &point : gone) {
        if (m_onRemoved && IsWatching())
            m_onRemoved(point);
    }
    --m_nHandlerDepth;
}
