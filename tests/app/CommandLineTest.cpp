#include "app/CommandLine.h"

#include <gtest/gtest.h>

using qp::ChooseStartMode;
using qp::HostFromCommandLine;
using qp::StartMode;

TEST(CommandLine, ArgumentsAreJoinedBySingleBlanks) {
    const char* argv[] = {"quillpost", "-update", "-h:fax.example.com"};
    EXPECT_EQ(qp::JoinArguments(3, argv), "-update -h:fax.example.com");
    EXPECT_EQ(qp::JoinArguments(1, argv), "");
}

TEST(CommandLine, ModesFollowTheirPrecedence) {
    EXPECT_EQ(ChooseStartMode(""), StartMode::Tray);
    EXPECT_EQ(ChooseStartMode("-update -bootstrap"), StartMode::Bootstrap);
    EXPECT_EQ(ChooseStartMode("-configure -update -h:x"), StartMode::Update);
    EXPECT_EQ(ChooseStartMode("-configure"), StartMode::Configure);
    EXPECT_EQ(ChooseStartMode("-log -configure"), StartMode::Configure);
    EXPECT_EQ(ChooseStartMode("-log"), StartMode::Log);
    EXPECT_EQ(ChooseStartMode("-contacts -log"), StartMode::Log);
    EXPECT_EQ(ChooseStartMode("-contacts"), StartMode::Contacts);
    EXPECT_EQ(ChooseStartMode("-cover -contacts"), StartMode::Contacts);
    EXPECT_EQ(ChooseStartMode("-cover"), StartMode::Cover);
}

TEST(CommandLine, SwitchesMatchInsideLongerWordsAndOnlyInTheirLetterCase) {
    EXPECT_EQ(ChooseStartMode("-configured"), StartMode::Configure);
    EXPECT_EQ(ChooseStartMode("x-bootstrapper"), StartMode::Bootstrap);
    EXPECT_EQ(ChooseStartMode("-Update -CONFIGURE -Bootstrap"), StartMode::Tray);
}

TEST(CommandLine, HostIsTheRestOfTheLineAfterTheFirstPrefix) {
    EXPECT_EQ(HostFromCommandLine("-update -h:fax.example.com"), "fax.example.com");
    EXPECT_EQ(HostFromCommandLine("-update -h:fax.example.com   "), "fax.example.com   ");
    EXPECT_EQ(HostFromCommandLine("-h:a -update -h:b"), "a -update -h:b");
    EXPECT_EQ(HostFromCommandLine("-update -h:"), "");
}

TEST(CommandLine, WithoutPrefixTheHostStartsAtTheThirdCharacter) {
    EXPECT_EQ(HostFromCommandLine("-update"), "pdate");
    EXPECT_EQ(HostFromCommandLine("ab"), "");
    EXPECT_EQ(HostFromCommandLine("a"), std::nullopt);
}

TEST(CommandLine, EachModeThatMayReachTheRunningClientHasItsRequest) {
    const std::pair<StartMode, std::optional<std::string>> table[] = {
        {StartMode::Bootstrap, std::nullopt},
        {StartMode::Update, std::nullopt},
        {StartMode::Configure, "configure"},
        {StartMode::Log, "log"},
        {StartMode::Contacts, "contacts"},
        {StartMode::Cover, "cover"},
        {StartMode::Tray, "show"},
    };
    for (const auto& [mode, command] : table)
        EXPECT_EQ(qp::ChannelCommand(mode), command) << static_cast<int>(mode);
}
