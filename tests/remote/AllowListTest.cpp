#include "remote/AllowList.h"

#include <gtest/gtest.h>

namespace remote {
namespace {

TEST(AllowList, LocalHostAloneUnlessNamed)
{
    const AllowList local = *AllowList::Parse(QString());
    EXPECT_TRUE(local.LocalOnly());
    EXPECT_TRUE(local.Allows(QHostAddress("127.0.0.1")));
    EXPECT_TRUE(local.Allows(QHostAddress("::1")));
    // Another loopback address is another host as far as the list goes.
    EXPECT_FALSE(local.Allows(QHostAddress("127.0.0.2")));
    EXPECT_FALSE(local.Allows(QHostAddress("192.168.1.20")));
}

TEST(AllowList, AddressesAndSubnetsOfBothProtocols)
{
    const auto list = AllowList::Parse(" 192.168.1.0/24, 10.0.0.5;fd00::/8  2001:db8::7 ");
    ASSERT_TRUE(list.has_value());
    EXPECT_FALSE(list->LocalOnly());
    EXPECT_TRUE(list->Allows(QHostAddress("192.168.1.200")));
    EXPECT_FALSE(list->Allows(QHostAddress("192.168.2.1")));
    EXPECT_TRUE(list->Allows(QHostAddress("10.0.0.5")));
    EXPECT_FALSE(list->Allows(QHostAddress("10.0.0.6")));
    EXPECT_TRUE(list->Allows(QHostAddress("fd12::1")));
    EXPECT_TRUE(list->Allows(QHostAddress("2001:db8::7")));
    EXPECT_FALSE(list->Allows(QHostAddress("2001:db8::8")));
    // An IPv4 client on a dual-stack socket arrives IPv4-mapped.
    EXPECT_TRUE(list->Allows(QHostAddress("::ffff:192.168.1.9")));
    EXPECT_FALSE(list->Allows(QHostAddress("::ffff:192.168.3.9")));
    EXPECT_TRUE(list->Allows(QHostAddress("::ffff:127.0.0.1")));
}

TEST(AllowList, AnEntryThatIsNoAddressIsNamed)
{
    for (const char* text : {"192.168.1.0/24, localhost", "radio.example.org", "10.0.0.300",
                             "192.168.1.0/40", "1.2.3.4/"}) {
        QString bad;
        EXPECT_FALSE(AllowList::Parse(QString::fromLatin1(text), &bad).has_value()) << text;
        EXPECT_FALSE(bad.isEmpty()) << text;
    }
    QString bad;
    AllowList::Parse("10.0.0.1, nowhere", &bad);
    EXPECT_EQ(bad, "nowhere");
}

}  // namespace
}  // namespace remote
