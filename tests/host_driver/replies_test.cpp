#include "driver.h"
#include "messages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using host_driver::DriverFailure;
using host_driver::ReplyChecker;

TEST(ExpectedTexts, SetImageIsTheStyledWritersLayout) {
  EXPECT_EQ(host_driver::SetImageText("KEY1", "foob"), "{\n"
                                                       "   \"context\" : \"KEY1\",\n"
                                                       "   \"event\" : \"setImage\",\n"
                                                       "   \"payload\" : {\n"
                                                       "      \"image\" : \"data:image/png;base64,"
                                                       "Zm9vYg==\",\n"
                                                       "      \"target\" : 0\n"
                                                       "   }\n"
                                                       "}\n");
}

TEST(ExpectedTexts, RegistrationIsTheStyledWritersLayout) {
  EXPECT_EQ(host_driver::RegistrationText("registerPlugin", "U1"),
            "{\n"
            "   \"event\" : \"registerPlugin\",\n"
            "   \"uuid\" : \"U1\"\n"
            "}\n");
}

TEST(KeyOfEvent, UsesEveryKeyAndRarelyRepeatsANeighbour) {
  const std::size_t keys = 31;
  std::set<std::size_t> used;
  std::size_t repeats = 0;
  for (std::size_t i = 0; i < 3100; ++i) {
    const std::size_t key = host_driver::KeyOfEvent(i, keys);
    ASSERT_LT(key, keys);
    used.insert(key);
    repeats += i > 0 && key == host_driver::KeyOfEvent(i - 1, keys) ? 1 : 0;
  }
  EXPECT_EQ(used.size(), keys);
  // A key sequence that repeats its neighbours would hide a repeated reply.
  EXPECT_LT(repeats, 3100u / 10);
}

// Three keys' replies, in the order a burst names them.
class Checker : public ::testing::Test {
protected:
  const std::vector<std::string> texts{host_driver::SetImageText("KEY0", "image"),
                                       host_driver::SetImageText("KEY1", "image"),
                                       host_driver::SetImageText("KEY2", "image")};
  ReplyChecker checker;
  const std::chrono::milliseconds kGuard{2000};

  void ExpectAll() { checker.Expect({&texts[0], &texts[1], &texts[2]}); }
  void Receive(const std::string &text) { checker.OnText(text, host_driver::Clock::now()); }
  std::string FailureOfWait(std::size_t count, std::chrono::milliseconds limit) {
    try {
      checker.WaitForCount(count, limit);
    } catch (const DriverFailure &failure) {
      return failure.what();
    }
    return std::string();
  }
};

TEST_F(Checker, InOrderRepliesComplete) {
  ExpectAll();
  for (const std::string &text : texts) {
    Receive(text);
  }
  EXPECT_EQ(FailureOfWait(3, kGuard), "");
  EXPECT_EQ(checker.Received(), 3u);
}

TEST_F(Checker, AnotherKeysReplyIsNamedAsOutOfOrder) {
  ExpectAll();
  Receive(texts[0]);
  Receive(texts[2]);
  const std::string failure = FailureOfWait(3, kGuard);
  EXPECT_NE(failure.find("reply 2 of 3"), std::string::npos) << failure;
  EXPECT_NE(failure.find("expected the setImage of key KEY1, got the one of key KEY2"),
            std::string::npos)
      << failure;
}

TEST_F(Checker, ARepeatedReplyFails) {
  ExpectAll();
  Receive(texts[0]);
  Receive(texts[0]);
  EXPECT_NE(FailureOfWait(3, kGuard).find("out of order"), std::string::npos);
}

TEST_F(Checker, AChangedByteIsLocated) {
  ExpectAll();
  std::string changed = texts[0];
  changed[60] ^= 1;
  Receive(changed);
  const std::string failure = FailureOfWait(1, kGuard);
  EXPECT_NE(failure.find("reply 1 of 3: the setImage of key KEY0 differs from the expected "
                         "text at byte 60"),
            std::string::npos)
      << failure;
}

TEST_F(Checker, ATruncatedReplyFails) {
  ExpectAll();
  Receive(texts[0].substr(0, texts[0].size() - 1));
  EXPECT_NE(FailureOfWait(1, kGuard).find("expected " + std::to_string(texts[0].size()) +
                                          " bytes, got " + std::to_string(texts[0].size() - 1)),
            std::string::npos);
}

TEST_F(Checker, SomethingElseIsQuoted) {
  ExpectAll();
  Receive(R"({"event":"showAlert","context":"KEY0"})");
  const std::string failure = FailureOfWait(1, kGuard);
  EXPECT_NE(failure.find("expected a setImage for key KEY0, got \"{\"event\":\"showAlert\""),
            std::string::npos)
      << failure;
}

TEST_F(Checker, AReplyBeyondTheExpectedOnesFails) {
  checker.Expect({&texts[0]});
  Receive(texts[0]);
  Receive(texts[1]);
  EXPECT_NE(FailureOfWait(1, kGuard).find("nothing asked for"), std::string::npos);
}

TEST_F(Checker, AMessageBetweenPhasesFails) {
  Receive(texts[0]);
  EXPECT_THROW(checker.ThrowIfFault(), DriverFailure);
}

TEST_F(Checker, AMissingReplyFailsAfterTheGuard) {
  ExpectAll();
  Receive(texts[0]);
  const std::string failure = FailureOfWait(3, std::chrono::milliseconds(50));
  EXPECT_NE(failure.find("reply 2 of 3 did not arrive within 50 ms"), std::string::npos) << failure;
}

TEST_F(Checker, TheConnectionEndingWithRepliesMissingFails) {
  ExpectAll();
  Receive(texts[0]);
  checker.OnConnectionEnded();
  EXPECT_NE(FailureOfWait(3, kGuard).find("2 replies still missing"), std::string::npos);
}

TEST_F(Checker, TheConnectionEndingAfterEveryReplyIsNoFault) {
  ExpectAll();
  for (const std::string &text : texts) {
    Receive(text);
  }
  checker.OnConnectionEnded();
  EXPECT_NO_THROW(checker.ThrowIfFault());
}

TEST_F(Checker, ABinaryFrameFails) {
  ExpectAll();
  checker.OnUnexpectedFrame("a binary frame of 4 bytes");
  EXPECT_EQ(FailureOfWait(1, kGuard), "the plug-in sent a binary frame of 4 bytes");
}

TEST_F(Checker, AWaiterOnAnotherThreadSeesTheReplies) {
  ExpectAll();
  std::thread server([this] {
    for (const std::string &text : texts) {
      Receive(text);
    }
  });
  EXPECT_EQ(FailureOfWait(3, kGuard), "");
  server.join();
}

} // namespace
