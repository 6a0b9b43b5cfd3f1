// tovren-tool grade CATALOGUE KEY FOLDER: one question's checks run against a folder, printed
// as the client's requirements box shows them after "检查答案"; why a line is not met on stderr.
#include <cstdio>

#include "grading/grader.h"
#include "tool.h"

namespace tovren::tool {

int runGrade(const Arguments& args) {
    if (args.size() != 3) return usageError("grade takes CATALOGUE, KEY and FOLDER");
    const catalogue::Catalogue book(args[0]);
    const std::string& key = args[1];
    grading::QuestionResult result = grading::gradeQuestion(
        book.requirements(key), grading::questionChecks(book, key), grading::placeOfFolder(args[2]));
    std::string text = grading::markedText(result);
    std::fwrite(text.data(), 1, text.size(), stdout);
    for (size_t i = 0; i < result.lines.size(); ++i)
        if (result.lines[i].mark == grading::Mark::NotMet)
            std::fprintf(stderr, "line %zu: %s\n", i + 1, result.lines[i].why.c_str());
    if (std::fflush(stdout) != 0) return 1;
    if (result.state != grading::QuestionResult::State::Graded) return 2;
    return result.met == result.checked ? 0 : 1;
}

}  // namespace tovren::tool
