#include "remote/AllowList.h"

#include <QRegularExpression>
#include <QStringList>

namespace remote {

std::optional<AllowList> AllowList::Parse(const QString& text, QString* bad)
{
    AllowList list;
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    for (const QString& entry : text.split(separators, Qt::SkipEmptyParts)) {
        if (entry.contains(QLatin1Char('/'))) {
            const std::pair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry);
            if (!subnet.first.isNull()) {
                list.subnets_.push_back(subnet);
                continue;
            }
        } else {
            const QHostAddress address(entry);
            if (!address.isNull()) {
                const int bits = address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32;
                list.subnets_.emplace_back(address, bits);
                continue;
            }
        }
        if (bad != nullptr)
            *bad = entry;
        return std::nullopt;
    }
    return list;
}

bool AllowList::Allows(const QHostAddress& peer) const
{
    QHostAddress address = peer;
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(v4);
    // The local host itself, not every loopback address: 127.0.0.2 is
    // another host name as far as the operator's list is concerned.
    if (address == QHostAddress(QHostAddress::LocalHost) ||
        address == QHostAddress(QHostAddress::LocalHostIPv6))
        return true;
    for (const auto& subnet : subnets_)
        if (address.isInSubnet(subnet))
            return true;
    return false;
}

}  // namespace remote
