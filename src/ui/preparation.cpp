#include "ui/preparation.h"

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/text_rules.h"
#include "exam/exam_layout.h"
#include "exam/set_aside.h"
#include "platform/files.h"
#include "ui/window_definitions.h"

namespace tovren::ui {

using platform::window::Window;

void prepareQuestion(Window& training, ui::Program& program) {
    auto& questions = training.comboBox(k组合框_选择题目);
    auto& state = program.state;
    int32_t at = questions.currentSelection();
    state.questionLabel = questions.itemText(at);
    state.requirementKey = state.typeText + state.questionLabel;
    state.questionNumberText = catalogue::decimalText(questions.itemValue(at));
    program.taskParam.url =
        exam::packageAddress(state.typeText, state.questionNumberText, program.serverBase);
    program.taskParam.localPath = exam::packageDownloadTarget();
    // The last copy stays usable until the fresh one is there; where it cannot be set aside
    // it simply stays, and the fresh one takes a free name beside it.
    const std::string package = exam::packagePath(state.typeText, state.questionNumberText);
    exam::setAside(package);
    startDownload(program);
    waitForDownloader(training, program);
    exam::dropStaleCopy(package);  // the fresh one has arrived during the wait
    showRequirements(training, program);
}

void startDownload(ui::Program& program) {
    const std::string& target = program.taskParam.localPath;
    // A folder is never deleted; a target ending in "\" never exists.
    if (platform::pathExists(target)) platform::deleteFile(target);
    program.download->addTask(program.taskParam);
}

void waitForDownloader(Window& training, ui::Program& program) {
    training.setAlwaysOnTop(false);
    Window* preparing = training.system().load(kPreparingWindow, &training, true, [&](Window& w) {
        bindPreparingWindow(w, training, program);
    });
    // No preparing window means no end of it to restore the topmost band.
    if (!preparing) training.setAlwaysOnTop(true);
}

void bindPreparingWindow(Window& preparing, Window& training, ui::Program& program) {
    preparing.timer(k时钟1).onTimer = [&preparing, &program] {
        onPreparingTimer(preparing, program);
    };
    preparing.onWillBeDestroyed = [&training] { training.setAlwaysOnTop(true); };
}

void onPreparingTimer(Window& preparing, ui::Program& program) {
    int32_t received = program.download->receivedBytes();
    if (received > 0) {
        showProgress(preparing.progressBar(k进度条1), received,
                     program.download->announcedLength());
        return;
    }
    preparing.timer(k时钟1).setPeriod(0);
    preparing.destroy();
}

void showProgress(platform::window::ProgressBar& bar, int32_t received, int32_t announced) {
    // No length known yet: no bar, rather than one that claims an end. A bar once shown stays:
    // the task may end between the two reads of a tick, leaving bytes without a length.
    if (announced <= 0) {
        if (bar.range() <= 0) bar.setRange(0);
        return;
    }
    bar.setRange(announced);
    // Never backwards, never beyond the end (a server that sends the file again from its start).
    bar.setPosition(std::max(bar.position(), std::min(received, announced)));
}

void showRequirements(Window& training, const ui::Program& program) {
    auto& box = training.editBox(k编辑框1);
    box.setText("");
    for (const std::string& piece :
         catalogue::latestCatalogue().requirements(program.state.requirementKey))
        box.setText(box.text() + piece + "\r\n");
}

}  // namespace tovren::ui
