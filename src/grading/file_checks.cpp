#include "grading/evaluate.h"
#include "grading/package.h"
#include "platform/files.h"

namespace tovren::grading {

Outcome evaluateFileClause(const Clause& clause, const QuestionPlace& place) {
    const std::string path = place.folder + "\\" + clause.path;
    auto facts = platform::fileFacts(path);
    if (clause.kind == Kind::Absent)
        return facts ? Outcome{false, clause.path + " is still there"} : Outcome{true, {}};
    if (!facts) return {false, clause.path + " does not exist"};
    switch (clause.kind) {
        case Kind::Exists:
            return {true, {}};
        case Kind::Folder:
            return facts->folder ? Outcome{true, {}} : Outcome{false, clause.path + " is a file, not a folder"};
        case Kind::Hidden:
            return facts->hidden ? Outcome{true, {}} : Outcome{false, clause.path + " is not hidden"};
        case Kind::ReadOnly:
            return facts->readOnly ? Outcome{true, {}} : Outcome{false, clause.path + " is not read-only"};
        case Kind::Size:
            if (facts->folder) return {false, clause.path + " is a folder"};
            if (!compareNumbers(static_cast<double>(facts->size), clause.compare, clause.value.number))
                return {false, clause.path + " has " + numberText(static_cast<double>(facts->size)) + " bytes"};
            return {true, {}};
        case Kind::Same: {
            if (facts->folder) return {false, clause.path + " is a folder"};
            auto package = Package::open(place.package);
            if (!package) return {false, "the question's package cannot be read"};
            auto same = package->sameBytes(clause.entry, path);
            if (!same) return {false, "the package has no readable file " + clause.entry};
            return *same ? Outcome{true, {}} : Outcome{false, clause.path + " differs from " + clause.entry};
        }
        default:
            return {false, "not a file check"};
    }
}

}  // namespace tovren::grading
