#include "services/prompts.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

class ScriptedPrompts : public Prompts {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    int askChoice(const std::string&, const std::vector<std::string>&) override { return 1; }
    std::string chooseOpenFile(const std::string&, const std::string&) override { return "a"; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return "b"; }
    std::vector<std::string> messages;
};

TEST(Prompts, ReplacementReceivesMessagesUntilRestored) {
    auto scripted = std::make_unique<ScriptedPrompts>();
    ScriptedPrompts* seen = scripted.get();
    auto previous = setPrompts(std::move(scripted));
    showMessage("hello");
    EXPECT_EQ(prompts().askChoice("q", {"x", "y"}), 1);
    ASSERT_EQ(seen->messages.size(), 1u);
    EXPECT_EQ(seen->messages[0], "hello");
    setPrompts(std::move(previous));
    EXPECT_EQ(prompts().askChoice("q", {"x"}), -1);
}

}  // namespace
}  // namespace veltro
