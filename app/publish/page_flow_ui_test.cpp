// The page flow's road between its windows for every result code, with the
// windows replaced by scripted answers: which window comes next, which
// document it sees, what runPageFlow returns and when the main window is
// closed.
#include "app/publish/page_flow_window.h"

#include <gtest/gtest.h>

#include <deque>

#include "document/document.h"
#include "ui/dialog_window.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

// Answers each window from a script and records the road taken as
// "edit:NAME save:NAME album reopen:DIR ...".
class ScriptedFlow {
public:
    explicit ScriptedFlow(std::deque<int> answers) : m_answers(std::move(answers)) {}

    PageFlowSteps steps() {
        PageFlowSteps steps;
        steps.edit = [this](Window*, Document& document) { return next("edit:" + document.name); };
        steps.save = [this](Window*, Document& document) { return next("save:" + document.name); };
        steps.album = [this](Window*, std::string* pageDir) {
            const int answer = next("album");
            if (answer == 2 && !m_pages.empty()) {
                *pageDir = m_pages.front();
                m_pages.pop_front();
            }
            return answer;
        };
        steps.reopen = [this](const std::string& pageDir) -> std::unique_ptr<Document> {
            road += "reopen:" + pageDir + " ";
            if (pageDir == "broken")
                return nullptr;
            auto document = std::make_unique<Document>(320, 240);
            document->setName(pageDir);
            return document;
        };
        return steps;
    }
    // Pages the album hands out with result 2 (an empty one means none).
    void choosePages(std::deque<std::string> pages) { m_pages = std::move(pages); }

    std::string road;

private:
    int next(const std::string& step) {
        road += step + " ";
        if (m_answers.empty()) {
            ADD_FAILURE() << "no answer left after: " << road;
            return -1;
        }
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    std::deque<int> m_answers;
    std::deque<std::string> m_pages;
};

class PageFlowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override { mainWindow = std::make_unique<DialogWindow>(nullptr, 0, 0, 100, 100, WindowFrame::FrameMain); }
    void TearDown() override {
        mainWindow.reset();
        testing::settle();
    }

    std::unique_ptr<Document> newDocument() {
        auto document = std::make_unique<Document>(320, 240);
        document->setName("new0");
        return document;
    }
    int run(ScriptedFlow& flow, std::unique_ptr<Document> document) {
        return runPageFlow(mainWindow.get(), std::move(document), flow.steps());
    }

    std::unique_ptr<DialogWindow> mainWindow;
};

TEST_F(PageFlowTest, EditSavePublishThenBackToTheMainMenu) {
    ScriptedFlow flow({1, 1, 1});
    EXPECT_EQ(run(flow, newDocument()), 1);
    EXPECT_EQ(flow.road, "edit:new0 save:new0 album ");
    EXPECT_TRUE(mainWindow->exists());
}

TEST_F(PageFlowTest, DiscardingInTheEditWindowEndsTheFlowWithZero) {
    ScriptedFlow flow({0});
    EXPECT_EQ(run(flow, newDocument()), 0);
    EXPECT_EQ(flow.road, "edit:new0 ");
    EXPECT_TRUE(mainWindow->exists());
}

TEST_F(PageFlowTest, BackFromTheSaveWindowReturnsToEditingAndAnyNonZeroEditResultGoesOn) {
    ScriptedFlow flow({2, 0, 1, 1, 0, 1, 1});
    EXPECT_EQ(run(flow, newDocument()), 1);
    // Back from the album with the document returns to its save window.
    EXPECT_EQ(flow.road, "edit:new0 save:new0 edit:new0 save:new0 album save:new0 album ");
}

TEST_F(PageFlowTest, QuittingInAnyWindowClosesTheMainWindow) {
    for (std::deque<int> answers : {std::deque<int>{-1}, std::deque<int>{1, -1}, std::deque<int>{1, 1, -1}}) {
        SetUp();
        ScriptedFlow flow(answers);
        EXPECT_EQ(run(flow, newDocument()), 0) << flow.road;
        EXPECT_FALSE(mainWindow->exists()) << flow.road;
        EXPECT_EQ(mainWindow->modalResult(), -1);
    }
}

TEST_F(PageFlowTest, TheAlbumWithoutADocumentOpensChosenPagesForEditing) {
    ScriptedFlow flow({2, 1, 1, 1});
    flow.choosePages({"/album/new3"});
    EXPECT_EQ(run(flow, nullptr), 1);
    EXPECT_EQ(flow.road, "album reopen:/album/new3 edit:/album/new3 save:/album/new3 album ");

    // Back from the album without a document goes to the main window.
    ScriptedFlow back({0});
    EXPECT_EQ(run(back, nullptr), 1);
    EXPECT_EQ(back.road, "album ");
}

TEST_F(PageFlowTest, APageThatCannotBeReopenedOrIsMissingReturnsToTheMainWindow) {
    ScriptedFlow broken({2});
    broken.choosePages({"broken"});
    EXPECT_EQ(run(broken, nullptr), 1);
    EXPECT_EQ(broken.road, "album reopen:broken ");

    ScriptedFlow none({1, 1, 2});
    EXPECT_EQ(run(none, newDocument()), 1);
    EXPECT_EQ(none.road, "edit:new0 save:new0 album ") << "result 2 without a page is the main menu";
    EXPECT_TRUE(mainWindow->exists());
}

TEST_F(PageFlowTest, EditingAnotherPageReplacesThePublishedDocument) {
    ScriptedFlow flow({1, 1, 2, 1, 1, 1});
    flow.choosePages({"/album/new7"});
    EXPECT_EQ(run(flow, newDocument()), 1);
    EXPECT_EQ(flow.road, "edit:new0 save:new0 album reopen:/album/new7 edit:/album/new7 save:/album/new7 album ");
}

}  // namespace
}  // namespace veltro
