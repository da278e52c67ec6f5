#include "SimState.h"

#include <gtest/gtest.h>

using namespace HarluneSim;
using nlohmann::json;

namespace {

Options withStep(int step, long long size = 1000) {
    Options o;
    o.progressStep = step;
    o.transferSize = size;
    return o;
}

Transfer download(const std::string& src) {
    Transfer t;
    t.direction = "receive";
    t.sources = {src};
    return t;
}

}  // namespace

TEST(Activity, TokenFollowsProgressAndAnswersOnlyWhatChanged) {
    SimState s(withStep(40));
    json first = s.pollActivity("", "app");
    EXPECT_EQ(first["iteration_token"], "it-0");
    EXPECT_TRUE(first["transfers"].empty());

    s.addTransfer(download("http://a/1"));
    json second = s.pollActivity(first["iteration_token"], "app");
    ASSERT_EQ(second["transfers"].size(), 1u);
    EXPECT_EQ(second["transfers"][0]["bytes_written"], 400);
    EXPECT_EQ(second["transfers"][0]["status"], "running");
    EXPECT_NE(second["iteration_token"], first["iteration_token"]);

    json third = s.pollActivity(second["iteration_token"], "app");
    json fourth = s.pollActivity(third["iteration_token"], "app");
    EXPECT_EQ(fourth["transfers"][0]["bytes_written"], 1000);  // capped at the size
    EXPECT_EQ(fourth["transfers"][0]["status"], "completed");
    EXPECT_EQ(fourth["transfers"][0]["percentage"], 100);

    // Finished: nothing moves, the token stays and nothing is listed.
    json fifth = s.pollActivity(fourth["iteration_token"], "app");
    EXPECT_EQ(fifth["iteration_token"], fourth["iteration_token"]);
    EXPECT_TRUE(fifth["transfers"].empty());
    // An empty or unknown token gets everything.
    EXPECT_EQ(s.pollActivity("", "app")["transfers"].size(), 1u);
    EXPECT_EQ(s.pollActivity("bogus", "app")["transfers"].size(), 1u);
    EXPECT_EQ(s.snapshot()["last_app_id"], "app");
}

TEST(Activity, ZeroStepKeepsTokenUntilANewTransferArrives) {
    SimState s(withStep(0));
    s.addTransfer(download("http://a/1"));
    const std::string token = s.pollActivity("", "")["iteration_token"];
    EXPECT_EQ(s.pollActivity(token, "")["iteration_token"], token);
    s.addTransfer(download("http://a/2"));
    json after = s.pollActivity(token, "");
    EXPECT_NE(after["iteration_token"], token);
    ASSERT_EQ(after["transfers"].size(), 1u);
    EXPECT_EQ(after["transfers"][0]["id"], 2);
}

TEST(Mode, UpdatesApplyAllOrNothing) {
    SimState s(Options{});
    std::string err;
    EXPECT_TRUE(s.updateMode({{"exit_status", 403}, {"misbehave", "garbage"}, {"slow_ms", 5}}, err));
    EXPECT_EQ(s.mode().exitStatus, 403);
    EXPECT_EQ(s.mode().misbehaviour, Misbehaviour::Garbage);
    // Keys are applied in name order, so the valid "exit_status" comes first
    // and must not stick when a later key is bad.
    for (const json& bad : {json{{"exit_status", 500}}, json{{"misbehave", "fly"}},
                            json{{"slow_ms", "5"}}, json{{"unknown", 1}}}) {
        json change = bad;
        if (!change.contains("exit_status")) change["exit_status"] = 404;
        EXPECT_FALSE(s.updateMode(change, err)) << change.dump();
        EXPECT_EQ(s.mode().exitStatus, 403);
        EXPECT_EQ(s.mode().slowMs, 5);
    }
    EXPECT_FALSE(s.updateMode(json::array(), err));
    EXPECT_EQ(s.modeJson()["misbehave"], "garbage");
}

TEST(Mode, MisbehaviourHonoursPathPrefixAndCount) {
    Options o;
    o.misbehaviour = Misbehaviour::Close;
    o.misbehavePath = "/v5/harlune/transfers/";
    o.misbehaveCount = 2;
    SimState s(o);
    EXPECT_EQ(s.takeMisbehaviour("/v5/harlune/info/ping"), Misbehaviour::None);
    EXPECT_EQ(s.takeMisbehaviour("/v5/harlune/transfers/activity"), Misbehaviour::Close);
    EXPECT_EQ(s.takeMisbehaviour("/v5/harlune/transfers/activity"), Misbehaviour::Close);
    EXPECT_EQ(s.takeMisbehaviour("/v5/harlune/transfers/activity"), Misbehaviour::None);
}

TEST(Mode, HoldEndsAtOnceWhenStoppingOrFull) {
    Options o;
    o.misbehaviour = Misbehaviour::Hang;
    SimState s(o);
    std::atomic<bool> stopping{true};
    EXPECT_EQ(s.holdWhileHanging(stopping), SimState::Hold::Stopping);
    EXPECT_EQ(s.snapshot()["held"], 0);
}
