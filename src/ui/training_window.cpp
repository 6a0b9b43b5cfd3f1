#include "ui/training_window.h"

#include "exam/exam_layout.h"
#include "exam/set_aside.h"
#include "catalogue/catalogue.h"
#include "platform/files.h"
#include "ui/answer_check.h"
#include "ui/exam_folder.h"
#include "ui/help_tab.h"
#include "ui/preparation.h"
#include "ui/theory_tab.h"
#include "ui/window_definitions.h"

namespace tovren::ui {

using platform::window::Answer;
using platform::window::Buttons;
using platform::window::Window;

void bindTrainingWindow(Window& window, ui::Program& program) {
    window.onCreated = [&window, &program] { onCreated(window, program); };
    window.onCanBeClosed = [&window] { return onCanBeClosed(window); };
    window.comboBox(k组合框_选择题型).onListItemSelected = [&window, &program] { onTypeChosen(window, program); };
    window.tabControl(k选择夹1).onTabChanged = [&window] { onTabChanged(window); };
    window.comboBox(k组合框_选择题目).onListItemSelected = [&window, &program] { prepareQuestion(window, program); };
    window.button(k打开考试文件夹).onClicked = [&window, &program] { openExamFolder(window, program); };
    window.button(k检查答案).onClicked = [&window, &program] { checkAnswer(window, program); };
    window.button(k按钮3).onClicked = [&window, &program] { backToLoginPage(window, program); };
    window.browserBox(k超文本浏览框1).on即将打开新窗口 = [&window] { return openInPlace(window); };
    window.button(k按钮帮助).onClicked = [&window, &program] { openHelpDocument(window, program); };
}

void onCreated(Window& window, ui::Program& program) {
    exam::ensureExamFolder();
    program.taskParam.url = exam::catalogueAddress(program.serverBase);
    program.taskParam.localPath = exam::cataloguePath();
    // The catalogue is always fetched anew; the last one is read until the fresh one is there.
    // Where it cannot be set aside it is deleted, as it always was.
    if (!exam::setAside(program.taskParam.localPath)) platform::deleteFile(program.taskParam.localPath);
    if (!program.download->addTask(program.taskParam)) program.windows.exitNow(0);
    setUpBalloonTip(window);
}

void onTypeChosen(Window& window, ui::Program& program) {
    auto& types = window.comboBox(k组合框_选择题型);
    program.state.typeText = types.itemText(types.currentSelection());
    program.state.questionCount = catalogue::latestCatalogue().questionCount(program.state.typeText);
    auto& questions = window.comboBox(k组合框_选择题目);
    questions.clearItems();
    for (const auto& item : catalogue::questionList(program.state.questionCount))
        questions.addItem(item.label, item.value);
}

void onTabChanged(Window& window) {
    auto& tab = window.tabControl(k选择夹1);
    auto& browser = window.browserBox(k超文本浏览框1);
    if (tab.currentTab() == 1) {
        // Full screen; each size is read back from what the system made of the last write.
        auto screen = window.system().screenSize();
        window.setWidth(screen.width);
        window.setHeight(screen.height);
        window.setLeft(0);
        window.setTop(0);
        tab.setWidth(window.width() - 10);
        tab.setHeight(window.height() - 38);
        browser.setWidth(tab.width() - 14);
        browser.setHeight(tab.height() - 32);
        return;
    }
    window.setWidth(kSmallWindowWidth);
    window.setHeight(kSmallWindowHeight);
    tab.setWidth(kSmallTabWidth);
    tab.setHeight(kSmallTabHeight);
    browser.setWidth(kSmallBrowserWidth);
    browser.setHeight(kSmallBrowserHeight);
    window.setAlwaysOnTop(true);
}

std::optional<bool> onCanBeClosed(Window& window) {
    window.setAlwaysOnTop(false);
    if (window.system().messageBox("真的要退出训练吗？", "Tovren", Buttons::YesNo) != Answer::Yes) {
        window.setAlwaysOnTop(true);
        return false;
    }
    return std::nullopt;
}

}  // namespace tovren::ui
