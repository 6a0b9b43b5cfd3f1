// tovren-tool catalogue FILE count TYPE | list COUNT | requirements KEY
#include <charconv>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "tool.h"

namespace tovren::tool {
namespace {

void write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int runCatalogue(const Arguments& args) {
    if (args.size() != 3) return usageError("catalogue takes FILE, a query and its argument");
    const catalogue::Catalogue book(args[0]);
    const std::string& query = args[1];
    const std::string& argument = args[2];
    if (query == "count") {
        write(std::to_string(book.questionCount(argument)) + "\n");
    } else if (query == "list") {
        int32_t count = 0;
        auto [end, error] =
            std::from_chars(argument.data(), argument.data() + argument.size(), count);
        if (error != std::errc() || end != argument.data() + argument.size())
            return usageError("COUNT must be a whole number: '" + argument + "'");
        for (const catalogue::QuestionItem& item : catalogue::questionList(count))
            write(item.label + "\t" + std::to_string(item.value) + "\n");
    } else if (query == "requirements") {
        write(book.requirementText(argument));
    } else {
        return usageError("unknown catalogue query '" + query + "'");
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tovren::tool
