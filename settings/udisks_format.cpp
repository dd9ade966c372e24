#include "settings/udisks_format.h"

#include <limits>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

#include "platform/trace.h"

namespace {

constexpr char kManagerPath[] = "/org/freedesktop/UDisks2/Manager";
constexpr char kManagerInterface[] = "org.freedesktop.UDisks2.Manager";
constexpr char kBlockInterface[] = "org.freedesktop.UDisks2.Block";
constexpr char kFilesystemInterface[] = "org.freedesktop.UDisks2.Filesystem";

// A full format of a large card takes long; the service answers when it is done.
constexpr int kFormatTimeoutMs = std::numeric_limits<int>::max();
constexpr int kStepTimeoutMs = 120000;

QVariantMap Interactive()
{
    // The policy agent may ask the user for a password.
    return {{"auth.no_user_interaction", false}};
}

} // namespace

QDBusMessage UDisksResolveDeviceMessage(const QString &devicePath)
{
    QDBusMessage message = QDBusMessage::createMethodCall(UDISKS_SERVICE, kManagerPath,
                                                          kManagerInterface, "ResolveDevice");
    message << QVariantMap{{"path", devicePath}} << QVariantMap{};
    return message;
}

QDBusMessage UDisksUnmountMessage(const QString &objectPath)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath, kFilesystemInterface, "Unmount");
    message << Interactive();
    return message;
}

QDBusMessage UDisksFormatMessage(const QString &objectPath, const FORMAT_CHOICE &choice)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath, kBlockInterface, "Format");
    QVariantMap options = Interactive();
    const std::string label = CardLabel(choice.strLabel);
    if (!label.empty())
        options.insert("label", QString::fromStdString(label));
    if (!choice.bQuick)
        options.insert("erase", QString("zero"));
    message << QString(choice.fileSystem == CardFileSystem::ExFat ? "exfat" : "vfat") << options;
    return message;
}

QDBusMessage UDisksMountMessage(const QString &objectPath)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath, kFilesystemInterface, "Mount");
    message << Interactive();
    return message;
}

QDBusMessage UDisksMountPointsMessage(const QString &objectPath)
{
    QDBusMessage message = QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath,
                                                          "org.freedesktop.DBus.Properties", "Get");
    message << QString(kFilesystemInterface) << QString("MountPoints");
    return message;
}

QString UDisksFirstMountPoint(const QVariant &value)
{
    QVariant inner = value;
    if (inner.metaType() == QMetaType::fromType<QDBusVariant>())
        inner = qvariant_cast<QDBusVariant>(inner).variant();
    QList<QByteArray> points;
    if (inner.metaType() == QMetaType::fromType<QDBusArgument>())
        inner.value<QDBusArgument>() >> points;
    else
        points = inner.value<QList<QByteArray>>();
    for (QByteArray point : points) {
        // Each is NUL-terminated.
        while (point.endsWith('\0'))
            point.chop(1);
        if (!point.isEmpty())
            return QString::fromLocal8Bit(point);
    }
    return {};
}

int UDisksErrorResult(UDisksStep step, const QString &errorName)
{
    if (errorName == "org.freedesktop.UDisks2.Error.Cancelled" ||
        errorName == "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed")
        return FORMAT_CANCELLED;
    if (step == UDisksStep::Unmount && errorName == "org.freedesktop.UDisks2.Error.NotMounted")
        return FORMAT_OK;
    if (step == UDisksStep::Mount && errorName == "org.freedesktop.UDisks2.Error.AlreadyMounted")
        return FORMAT_OK;
    // No service, no answer, no permission: nothing was done to the card.
    if (errorName.startsWith("org.freedesktop.DBus.Error.") ||
        errorName.startsWith("org.freedesktop.UDisks2.Error.NotAuthorized"))
        return step == UDisksStep::Mount ? FORMAT_NOT_REMOUNTED : FORMAT_ERROR;
    switch (step) {
    case UDisksStep::Resolve:
        return FORMAT_ERROR;
    case UDisksStep::Unmount:
    case UDisksStep::Format:
        return FORMAT_NOFORMAT;
    case UDisksStep::Mount:
        return FORMAT_NOT_REMOUNTED;
    }
    return FORMAT_ERROR;
}

bool UDisksAvailable(const QDBusConnection &bus)
{
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    if (bus.interface()->isServiceRegistered(UDISKS_SERVICE))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(UDISKS_SERVICE);
}

CUDisksFormatter::CUDisksFormatter(QDBusConnection bus)
    : m_bConnected(bus.isConnected()), m_Call([bus](const QDBusMessage &message, int timeoutMs) {
          return bus.call(message, QDBus::Block, timeoutMs);
      })
{
}

namespace {

QDBusMessage Traced(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        TraceA("UDisks2: %s %s\n", reply.errorName().toUtf8().constData(),
               reply.errorMessage().toUtf8().constData());
    return reply;
}

int StepResult(UDisksStep step, const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ErrorMessage ? UDisksErrorResult(step, reply.errorName())
                                                      : FORMAT_OK;
}

std::string WithSlash(const QString &path)
{
    return path.endsWith('/') ? path.toStdString() : path.toStdString() + "/";
}

} // namespace

QString CUDisksFormatter::MountAgain(const QString &object)
{
    const QDBusMessage mounted = Traced(m_Call(UDisksMountMessage(object), kStepTimeoutMs));
    if (mounted.type() != QDBusMessage::ErrorMessage)
        return mounted.arguments().isEmpty() ? QString()
                                             : mounted.arguments().constFirst().toString();
    if (StepResult(UDisksStep::Mount, mounted) != FORMAT_OK)
        return {};
    // A desktop automounter got there first: ask where.
    const QDBusMessage points = Traced(m_Call(UDisksMountPointsMessage(object), kStepTimeoutMs));
    if (points.type() == QDBusMessage::ErrorMessage || points.arguments().isEmpty())
        return {};
    return UDisksFirstMountPoint(points.arguments().constFirst());
}

int CUDisksFormatter::Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
                             std::string *newMountPoint)
{
    // Until the card is unmounted, it stays where it was.
    *newMountPoint = WithSlash(QString::fromStdString(mountPoint));
    if (!m_bConnected)
        return FORMAT_ERROR;
    const std::string device = CheckTarget(mountPoint);
    if (device.empty())
        return FORMAT_REFUSED;

    const QDBusMessage resolved =
        Traced(m_Call(UDisksResolveDeviceMessage(QString::fromStdString(device)), kStepTimeoutMs));
    if (int result = StepResult(UDisksStep::Resolve, resolved); result != FORMAT_OK)
        return result;
    const QList<QDBusObjectPath> objects =
        resolved.arguments().isEmpty()
            ? QList<QDBusObjectPath>{}
            : qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().constFirst());
    if (objects.isEmpty())
        return FORMAT_ERROR;
    const QString object = objects.constFirst().path();

    if (int result = StepResult(UDisksStep::Unmount,
                                Traced(m_Call(UDisksUnmountMessage(object), kStepTimeoutMs)));
        result != FORMAT_OK)
        return result;
    const int formatted = StepResult(
        UDisksStep::Format, Traced(m_Call(UDisksFormatMessage(object, choice), kFormatTimeoutMs)));
    // Mounted again on every path: a failed or cancelled format leaves the card as it was.
    const QString where = MountAgain(object);
    *newMountPoint = where.isEmpty() ? std::string() : WithSlash(where);
    if (formatted != FORMAT_OK)
        return formatted;
    return where.isEmpty() ? FORMAT_NOT_REMOUNTED : FORMAT_OK;
}
