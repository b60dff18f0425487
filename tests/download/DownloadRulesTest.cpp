// The download's pure decisions: what is retried, how long to wait, what a range answer
// and Retry-After say, and when proxy credentials may be asked for.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "download/DownloadRules.h"
#include "winfx/Url.h"

namespace {

TEST(DownloadRulesTest, OnlyPassingServerStatusesAreRetried) {
  for (long status : {408L, 429L, 500L, 502L, 503L, 504L}) {
    EXPECT_TRUE(DownloadRules::IsTransientStatus(status)) << status;
  }
  for (long status : {200L, 206L, 301L, 400L, 401L, 403L, 404L, 407L, 410L, 416L, 501L, 505L, 0L}) {
    EXPECT_FALSE(DownloadRules::IsTransientStatus(status)) << status;
  }
}

TEST(DownloadRulesTest, ARefusedResumeDropsThePartUnlessTheRefusalPasses) {
  for (long status : {400L, 403L, 404L, 410L, 412L, 416L, 499L}) {
    EXPECT_TRUE(DownloadRules::EndsResume(status)) << status;
  }
  for (long status : {200L, 206L, 304L, 408L, 429L, 500L, 501L, 503L, 0L}) {
    EXPECT_FALSE(DownloadRules::EndsResume(status)) << status;
  }
}

TEST(DownloadRulesTest, OnlyPrintableAsciiUpToTheLimitIsKeptAsAValidator) {
  for (const std::string& validator :
       {std::string("\"g0-1\""), std::string("W/\"x\""), std::string("Tue, 14 Nov 2023 22:13:20 GMT"),
        std::string(DownloadRules::kMaxValidatorBytes, '~')}) {
    EXPECT_TRUE(DownloadRules::IsValidatorText(validator)) << validator;
  }
  for (const std::string& validator :
       {std::string(), std::string("\"a\"\nX: y"), std::string("\"a\"\r"), std::string("a\tb"),
        std::string("a\x7f"), std::string("\xb0\xa1"), std::string(1, '\0'),
        std::string(DownloadRules::kMaxValidatorBytes + 1, 'a')}) {
    EXPECT_FALSE(DownloadRules::IsValidatorText(validator)) << validator;
  }
}

TEST(DownloadRulesTest, CertificateAndAddressErrorsAreNotRetriedButConnectionTroubleIs) {
  const DWORD passing[] = {ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_RESET,
                           ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_TIMEOUT,
                           ERROR_HTTP_INVALID_SERVER_RESPONSE};
  for (DWORD error : passing) {
    EXPECT_TRUE(DownloadRules::IsTransientNetworkError(error)) << error;
  }
  const DWORD lasting[] = {ERROR_INTERNET_INVALID_URL, ERROR_INTERNET_UNRECOGNIZED_SCHEME,
                           ERROR_INTERNET_INVALID_CA, ERROR_INTERNET_SEC_CERT_CN_INVALID,
                           ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_REV_FAILED,
                           ERROR_INTERNET_SEC_INVALID_CERT};
  for (DWORD error : lasting) {
    EXPECT_FALSE(DownloadRules::IsTransientNetworkError(error)) << error;
  }
}

TEST(DownloadRulesTest, WaitsDoubleFromOneSecondWithAQuarterOfJitter) {
  const DWORD unit = 1000;
  const DWORD base[] = {1000, 2000, 4000, 8000};
  for (int retry = 1; retry <= 4; ++retry) {
    const DWORD b = base[retry - 1];
    EXPECT_EQ(b, DownloadRules::RetryWaitMs(retry, 0.0, -1, unit)) << retry;
    EXPECT_EQ(b * 3 / 4, DownloadRules::RetryWaitMs(retry, -1.0, -1, unit)) << retry;
    EXPECT_EQ(b * 5 / 4, DownloadRules::RetryWaitMs(retry, 1.0, -1, unit)) << retry;
    // Jitter out of its range is held to it.
    EXPECT_EQ(b * 5 / 4, DownloadRules::RetryWaitMs(retry, 7.0, -1, unit)) << retry;
  }
  // The test unit scales every wait alike.
  EXPECT_EQ(80u, DownloadRules::RetryWaitMs(4, 0.0, -1, 10));
}

TEST(DownloadRulesTest, RetryAfterUpToAMinuteReplacesTheWait) {
  EXPECT_EQ(0u, DownloadRules::RetryWaitMs(3, 1.0, 0, 1000));
  EXPECT_EQ(2000u, DownloadRules::RetryWaitMs(1, 1.0, 2, 1000));
  EXPECT_EQ(60000u, DownloadRules::RetryWaitMs(4, -1.0, 60, 1000));
  // Longer than a minute: the server is not waited for that long.
  EXPECT_EQ(2000u, DownloadRules::RetryWaitMs(2, 0.0, 61, 1000));
  EXPECT_EQ(600u, DownloadRules::RetryWaitMs(1, 0.0, 60, 10));
}

TEST(DownloadRulesTest, RetryAfterIsSecondsOrADate) {
  SYSTEMTIME now = {2026, 12, 2, 8, 9, 0, 0, 0};  // Tue, 08 Dec 2026 09:00:00 GMT
  EXPECT_EQ(0, DownloadRules::RetryAfterSeconds("0", now));
  EXPECT_EQ(120, DownloadRules::RetryAfterSeconds("120", now));
  EXPECT_EQ(30, DownloadRules::RetryAfterSeconds("Tue, 08 Dec 2026 09:00:30 GMT", now));
  EXPECT_EQ(0, DownloadRules::RetryAfterSeconds("Tue, 08 Dec 2026 08:00:00 GMT", now));
  for (const char* bad : {"", "-5", "soon", "12s", " 5"}) {
    EXPECT_EQ(-1, DownloadRules::RetryAfterSeconds(bad, now)) << bad;
  }
}

TEST(DownloadRulesTest, ContentRangeIsTakenOnlyWhenWhollyUnderstood) {
  ULONGLONG first = 0, last = 0, total = 0;
  ASSERT_TRUE(DownloadRules::ParseContentRange("bytes 100-199/200", &first, &last, &total));
  EXPECT_EQ(100u, first);
  EXPECT_EQ(199u, last);
  EXPECT_EQ(200u, total);
  ASSERT_TRUE(DownloadRules::ParseContentRange("bytes 0-4294967299/4294967300", &first, &last, &total));
  EXPECT_EQ(4294967300ULL, total);
  for (const char* bad : {"", "bytes */200", "bytes 100-199/*", "items 100-199/200", "bytes 100-99/200",
                          "bytes 100-200/200", "bytes -199/200", "bytes 1 00-199/200",
                          "bytes 100-199/200x"}) {
    EXPECT_FALSE(DownloadRules::ParseContentRange(bad, &first, &last, &total)) << bad;
  }
}

TEST(DownloadRulesTest, OnlyAPlainlyDirectConnectionSkipsProxyCredentials) {
  const DWORD flags[] = {PROXY_TYPE_DIRECT, PROXY_TYPE_PROXY, PROXY_TYPE_AUTO_PROXY_URL,
                         PROXY_TYPE_AUTO_DETECT};
  for (unsigned combination = 0; combination < 16; ++combination) {
    DWORD value = 0;
    for (unsigned bit = 0; bit < 4; ++bit) {
      if (combination & (1u << bit)) value |= flags[bit];
    }
    EXPECT_EQ(value != PROXY_TYPE_DIRECT, DownloadRules::MayUseProxy(value)) << value;
  }
}

TEST(DownloadRulesTest, ARedirectIsFollowedOnlyOnTheRequestsSchemeHostAndPort) {
  std::string object;
  ASSERT_TRUE(DownloadRules::RedirectStays("/update/b?x=1", winfx::kServiceHttps, "host", 443, &object));
  EXPECT_EQ("/update/b?x=1", object);
  ASSERT_TRUE(DownloadRules::RedirectStays("https://HOST/update/c", winfx::kServiceHttps, "host", 443,
                                           &object));
  EXPECT_EQ("/update/c", object);
  for (const char* away : {"http://host/update/c", "https://host:8443/update/c", "https://other/update/c",
                           "//other/update/c", "update/c", "", "/a\r\nX: y"}) {
    EXPECT_FALSE(DownloadRules::RedirectStays(away, winfx::kServiceHttps, "host", 443, &object)) << away;
  }
}

}  // namespace
