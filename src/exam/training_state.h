#pragma once
// The student's current choice. One instance lives for the whole run, owned by the program
// record (ui/program.h) beside the one TaskParam and the one Download; only the window thread
// touches it. Nothing resets a field: each keeps its value until overwritten.
#include <cstdint>
#include <string>

namespace tovren::exam {

struct TrainingState {
    std::string typeText;            // "Word", ... the type list's current item
    int32_t questionCount = 0;       // the catalogue count for typeText
    std::string questionLabel;       // "第1题"
    std::string requirementKey;      // typeText + questionLabel: "Word第1题"
    std::string questionNumberText;  // "1"
};

}  // namespace tovren::exam
