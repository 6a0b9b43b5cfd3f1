#include "grading/grader.h"

#include "catalogue/text_rules.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tovren::grading {

std::vector<std::string> questionChecks(const catalogue::Catalogue& catalogue, std::string_view key) {
    std::vector<std::string> checks;
    std::string gbk = catalogue.valueGbk(kCheckSection, key);
    for (std::string_view piece : catalogue::splitGbk(gbk, '~')) checks.push_back(platform::gbkToUtf8(piece));
    return checks;
}

QuestionPlace placeOfFolder(std::string_view folder) {
    std::string f(folder);
    while (f.size() > 1 && (f.back() == '\\' || f.back() == '/')) f.pop_back();
    return {f, f + ".zip"};
}

QuestionResult gradeQuestion(const std::vector<std::string>& requirements,
                             const std::vector<std::string>& checks, const QuestionPlace& place) {
    QuestionResult result;
    for (const auto& r : requirements) result.lines.push_back({r, Mark::NoCheck, {}});
    bool anyCheck = false;
    for (size_t i = 0; i < checks.size() && i < requirements.size(); ++i)
        if (parseCheck(checks[i]).check || !parseCheck(checks[i]).error.empty()) anyCheck = true;
    if (!anyCheck) {
        result.state = QuestionResult::State::NoChecks;
        return result;
    }
    if (!platform::isDirectory(place.folder)) {
        result.state = QuestionResult::State::NoFolder;
        return result;
    }
    result.state = QuestionResult::State::Graded;
    for (size_t i = 0; i < checks.size() && i < requirements.size(); ++i) {
        ParsedCheck parsed = parseCheck(checks[i]);
        MarkedLine& line = result.lines[i];
        if (!parsed.check && parsed.error.empty()) continue;
        ++result.checked;
        if (!parsed.check) {
            line.mark = Mark::NotMet;
            line.why = "the check is malformed: " + parsed.error;
            continue;
        }
        Outcome outcome = evaluateCheck(*parsed.check, place);
        line.mark = outcome.met ? Mark::Met : Mark::NotMet;
        line.why = outcome.why;
        if (outcome.met) ++result.met;
    }
    return result;
}

std::string markedText(const QuestionResult& result) {
    std::string text;
    bool graded = result.state == QuestionResult::State::Graded;
    for (const MarkedLine& line : result.lines) {
        if (graded) text += line.mark == Mark::Met ? "√ " : line.mark == Mark::NotMet ? "× " : "  ";
        text += line.requirement + "\r\n";
    }
    switch (result.state) {
        case QuestionResult::State::Graded:
            text += "检查了 " + std::to_string(result.checked) + " 项要求，已完成 " + std::to_string(result.met) + " 项。\r\n";
            break;
        case QuestionResult::State::NoChecks:
            text += "本题没有自动检查。\r\n";
            break;
        case QuestionResult::State::NoFolder:
            text += "本题的考试文件夹还不存在，请先点“打开考试文件夹”。\r\n";
            break;
    }
    return text;
}

}  // namespace tovren::grading
