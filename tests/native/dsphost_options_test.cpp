#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tools/dsphost/host_options.h"

namespace {

struct ParseResult {
  bool ok;
  HostOptions options;
  std::string error;
};

ParseResult parse(std::initializer_list<const char*> arguments) {
  const std::vector<const char*> list(arguments);
  ParseResult result;
  result.ok =
      parseHostOptions(static_cast<int>(list.size()), list.data(), result.options, result.error);
  return result;
}

TEST(DsphostOptions, TheFormatAloneGivesTheDefaults) {
  const ParseResult result = parse({"--rate", "44100", "--channels", "2", "--bits", "16"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.sampleRate, 44100);
  EXPECT_EQ(result.options.channels, 2);
  EXPECT_EQ(result.options.bitsPerSample, 16);
  EXPECT_EQ(result.options.blockFrames, 576);
  EXPECT_EQ(result.options.moduleIndex, 0);
  EXPECT_EQ(result.options.pluginPath, "");
  EXPECT_FALSE(result.options.openSettingsWindow);
}

TEST(DsphostOptions, EveryOptionIsRead) {
  const ParseResult result =
      parse({"--configure", "--plugin", "Z:\\x\\y.dll", "--module", "3", "--block", "4096",
             "--bits", "24", "--channels", "6", "--rate", "96000"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.pluginPath, "Z:\\x\\y.dll");
  EXPECT_EQ(result.options.moduleIndex, 3);
  EXPECT_EQ(result.options.blockFrames, 4096);
  EXPECT_EQ(result.options.bitsPerSample, 24);
  EXPECT_EQ(result.options.channels, 6);
  EXPECT_EQ(result.options.sampleRate, 96000);
  EXPECT_TRUE(result.options.openSettingsWindow);
}

TEST(DsphostOptions, EachWholeByteWidthIsAccepted) {
  for (const char* bits : {"8", "16", "24", "32"}) {
    EXPECT_TRUE(parse({"--rate", "8000", "--channels", "1", "--bits", bits}).ok) << bits;
  }
}

TEST(DsphostOptions, BadNumbersAreRefusedWithTheOptionNamed) {
  const std::initializer_list<const char*> refused[] = {
      {"--rate", "0", "--channels", "2", "--bits", "16"},
      {"--rate", "-44100", "--channels", "2", "--bits", "16"},
      {"--rate", "44.1k", "--channels", "2", "--bits", "16"},
      {"--rate", "99999999999", "--channels", "2", "--bits", "16"},
      {"--rate", "", "--channels", "2", "--bits", "16"},
      {"--rate", "44100", "--channels", "0", "--bits", "16"},
      {"--rate", "44100", "--channels", "65", "--bits", "16"},
      {"--rate", "44100", "--channels", "2", "--bits", "12"},
      {"--rate", "44100", "--channels", "2", "--bits", "0"},
      {"--rate", "44100", "--channels", "2", "--bits", "40"},
      {"--rate", "44100", "--channels", "2", "--bits", "16", "--block", "0"},
      {"--rate", "44100", "--channels", "2", "--bits", "16", "--block", "1048577"},
      {"--rate", "44100", "--channels", "2", "--bits", "16", "--module", "-1"},
  };
  for (const auto& arguments : refused) {
    const ParseResult result = parse(arguments);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(" takes "), std::string::npos) << result.error;
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
  }
}

TEST(DsphostOptions, TheRefusedValueIsQuoted) {
  const ParseResult result = parse({"--rate", "44100", "--channels", "2", "--bits", "12"});
  EXPECT_EQ(result.error, "--bits takes 8, 16, 24 or 32, not '12'");
}

TEST(DsphostOptions, UnknownOptionsAndStrayArgumentsAreRefused) {
  const ParseResult unknown = parse({"--rate", "44100", "--channels", "2", "--bits", "16", "-x"});
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.error.rfind("unknown option '-x'", 0), 0u) << unknown.error;
  const ParseResult stray =
      parse({"input.raw", "--rate", "44100", "--channels", "2", "--bits", "16"});
  EXPECT_FALSE(stray.ok);
  EXPECT_EQ(stray.error.rfind("unexpected argument 'input.raw'", 0), 0u) << stray.error;
}

TEST(DsphostOptions, AnOptionWithoutItsValueIsRefused) {
  const ParseResult result = parse({"--channels", "2", "--bits", "16", "--rate"});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "--rate needs a value");
}

TEST(DsphostOptions, TheFormatMustBeGivenWhole) {
  EXPECT_FALSE(parse({}).ok);
  EXPECT_FALSE(parse({"--rate", "44100", "--channels", "2"}).ok);
  EXPECT_FALSE(parse({"--rate", "44100", "--bits", "16"}).ok);
  EXPECT_FALSE(parse({"--channels", "2", "--bits", "16"}).ok);
}

TEST(DsphostFraming, ABlockHoldsWholeFramesOfEveryChannel) {
  HostOptions options;
  options.channels = 2;
  options.bitsPerSample = 24;
  options.blockFrames = 576;
  EXPECT_EQ(bytesPerFrame(options), 6);
  EXPECT_EQ(bytesPerBlock(options), 3456);
}

TEST(DsphostFraming, TheLargestBlockStaysWithinItsBytes) {
  HostOptions options;
  options.channels = largestChannels;
  options.bitsPerSample = 32;
  options.blockFrames = largestBlockFrames;
  EXPECT_EQ(bytesPerBlock(options), std::int64_t{256} << 20);
}

TEST(DsphostFraming, WhatIsWrittenIsWhatProcessLeftWithinTheBlock) {
  EXPECT_EQ(framesToWrite(576, 576), 576);
  EXPECT_EQ(framesToWrite(100, 576), 100);
  EXPECT_EQ(framesToWrite(0, 576), 0);
  EXPECT_EQ(framesToWrite(-1, 576), 0);
  EXPECT_EQ(framesToWrite(1152, 576), 576);
}

}  // namespace
