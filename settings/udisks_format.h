#pragma once

#include <functional>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>

#include "settings/card_format.h"

// The card format through the UDisks2 disk service on the system bus: find the card's block
// object from its device, unmount it, Block.Format, mount it again (the service picks the new
// mount point). Works without root where the desktop's policy lets the user format
// removable media.
inline constexpr char UDISKS_SERVICE[] = "org.freedesktop.UDisks2";

QDBusMessage UDisksResolveDeviceMessage(const QString &devicePath);
QDBusMessage UDisksUnmountMessage(const QString &objectPath);
QDBusMessage UDisksFormatMessage(const QString &objectPath, const FORMAT_CHOICE &choice);
QDBusMessage UDisksMountMessage(const QString &objectPath);
// Properties.Get of the file system's MountPoints (an array of NUL-terminated byte strings).
QDBusMessage UDisksMountPointsMessage(const QString &objectPath);
// The first mount point in a MountPoints value, as the bus delivers it; empty when none.
QString UDisksFirstMountPoint(const QVariant &value);

enum class UDisksStep
{
    Resolve,
    Unmount,
    Format,
    Mount,
};

// The FORMAT_ result for a D-Bus error met at a step; FORMAT_OK for an error the step may
// ignore (unmounting a card that is not mounted, mounting one an automounter mounted first).
int UDisksErrorResult(UDisksStep step, const QString &errorName);

// True when the system bus answers and the disk service is running or can be started.
bool UDisksAvailable(const QDBusConnection &bus);

// After a successful Unmount the card is mounted again whatever happens next (a failed or
// cancelled Format included), so it is never left unreachable.
class CUDisksFormatter : public CCardFormatter
{
public:
    // Sends a method call and waits for its answer (an error message on failure).
    using Call = std::function<QDBusMessage(const QDBusMessage &message, int timeoutMs)>;

    explicit CUDisksFormatter(QDBusConnection bus = QDBusConnection::systemBus());
    // Tests answer in the service's place.
    explicit CUDisksFormatter(Call call) : m_bConnected(true), m_Call(std::move(call)) {}
    int Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
               std::string *newMountPoint) override;

private:
    // Mounts the file system again; where it is mounted now, or empty.
    QString MountAgain(const QString &object);

    bool m_bConnected;
    Call m_Call;
};
