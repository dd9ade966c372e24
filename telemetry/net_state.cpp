#include "telemetry/net_state.h"

#include <QNetworkInformation>

bool InetIsOffline()
{
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return false;
    const QNetworkInformation *info = QNetworkInformation::instance();
    return info && info->reachability() == QNetworkInformation::Reachability::Disconnected;
}
