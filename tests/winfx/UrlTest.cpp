// winfx::ParseUrl: URLs split by WinINet into service type, server, object and port.
#include <gtest/gtest.h>

#include "winfx/Url.h"

namespace {

using winfx::ParsedUrl;
using winfx::ParseUrl;

TEST(ParseUrlTest, HttpWithAndWithoutPort) {
  ParsedUrl url;
  ASSERT_TRUE(ParseUrl("http://127.0.0.1:47320/update/Quillon_Widget.zip", &url));
  EXPECT_EQ(winfx::kServiceHttp, url.serviceType);
  EXPECT_EQ("127.0.0.1", url.server);
  EXPECT_EQ("/update/Quillon_Widget.zip", url.object);
  EXPECT_EQ(47320, url.port);

  ASSERT_TRUE(ParseUrl("http://update.example/a/b.zip?v=2&x=%41", &url));
  EXPECT_EQ("update.example", url.server);
  EXPECT_EQ("/a/b.zip?v=2&x=%41", url.object);  // query kept, nothing decoded
  EXPECT_EQ(80, url.port);
}

TEST(ParseUrlTest, OtherSchemesHaveTheirOwnServiceTypeAndDefaultPort) {
  ParsedUrl url;
  ASSERT_TRUE(ParseUrl("https://update.example/x.zip", &url));
  EXPECT_EQ(0x100Bu, url.serviceType);
  EXPECT_EQ(443, url.port);

  ASSERT_TRUE(ParseUrl("ftp://files.example/pub/x.zip", &url));
  EXPECT_EQ(1u, url.serviceType);
  EXPECT_EQ("files.example", url.server);
  EXPECT_EQ("/pub/x.zip", url.object);
  EXPECT_EQ(21, url.port);
}

TEST(ParseUrlTest, MissingPathIsTheRoot) {
  ParsedUrl url;
  ASSERT_TRUE(ParseUrl("http://update.example", &url));
  EXPECT_EQ("/", url.object);
}

TEST(ParseUrlTest, TextThatIsNoUrlWithAHostIsRejected) {
  ParsedUrl url;
  for (const char* text : {"", "not a url", "update.example/x.zip", "http://", "http:///x.zip",
                           "://update.example/x.zip"}) {
    EXPECT_FALSE(ParseUrl(text, &url)) << text;
  }
}

}  // namespace
