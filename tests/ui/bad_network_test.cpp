// A student on a bad network: the preparing window's progress bar, and the last catalogue and
// package kept until their fresh copies have arrived. Real download service, local server,
// every backend.
#include <algorithm>
#include <filesystem>
#include <set>

#include "catalogue/catalogue.h"
#include "exam/set_aside.h"
#include "ui/preparation.h"
#include "ui/question_fixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tovren::ui::testing {
namespace {

namespace fs = std::filesystem;
using tovren::testing::fsPath;

// ---- The progress bar, fed from a script ----

// Answers each tick from a script of (received, announced) and fetches nothing.
class ScriptedProgress final : public fetch::Downloader {
  public:
    struct Tick {
        int32_t received, announced;
    };
    bool addTask(const fetch::TaskParam&) override { return true; }
    int32_t receivedBytes() const override {
        if (beforeTick) beforeTick();
        current_ = next_ < script.size() ? script[next_++] : Tick{0, 0};
        return current_.received;
    }
    int32_t announcedLength() const override { return current_.announced; }
    void play(std::vector<Tick> ticks) {
        script = std::move(ticks);
        next_ = 0;
    }

    std::vector<Tick> script;
    std::function<void()> beforeTick;

  private:
    mutable size_t next_ = 0;
    mutable Tick current_{0, 0};
};

struct BarSeen {
    bool visible;
    int32_t range, position;
    bool operator==(const BarSeen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const BarSeen& s) {
    return out << (s.visible ? "shown " : "hidden ") << s.position << "/" << s.range;
}

class ProgressTest : public ::testing::Test {
  protected:
    ProgressTest() {
#ifdef _WIN32
        std::error_code ignored;
        fs::remove_all(fsPath(exam::kExamFolder), ignored);
#else
        platform::setDriveRoot(platform::nativePath(scratch.path()));
        fs::create_directories(fsPath(scratch.path()) / "c");
#endif
    }

    // The bar as the student sees it at each tick, before the tick's own change: the first
    // entry is the bar as loaded, each further one what the previous tick made of it.
    std::vector<BarSeen> waitWith(std::vector<ScriptedProgress::Tick> script) {
        scripted->play(std::move(script));
        std::vector<BarSeen> seen;
        scripted->beforeTick = [&] {
            for (const auto& w : windows.windows()) {
                if (w->name() != kPreparingWindow.name || !w->exists()) continue;
                auto& bar = w->progressBar(k进度条1);
                seen.push_back({bar.visible(), bar.range(), bar.position()});
                labels.insert(windows.backend().text(w->control(k透明标签1)));
            }
        };
        if (!training)
            training = windows.load(kTrainingWindow, nullptr, false,
                                    [this](win::Window& w) { bindTrainingWindow(w, program); });
        EXPECT_NE(training, nullptr);
        if (training) waitForDownloader(*training, program);
        scripted->beforeTick = nullptr;
        return seen;
    }

    tovren::testing::ScratchFolder scratch;
    win::WindowSystem windows{win::makeBackend()};
    std::unique_ptr<win::Driver> driver = win::makeDriver(windows);
    ScriptedProgress* scripted = nullptr;
    ui::Program program{windows, [this] {
                            auto made = std::make_unique<ScriptedProgress>();
                            scripted = made.get();
                            return made;
                        }()};
    std::set<std::string> labels;
    win::Window* training = nullptr;
};

TEST_F(ProgressTest, TheBarFollowsTheAnnouncedLength) {
    const BarSeen hidden{false, 0, 0};
    struct {
        std::vector<ScriptedProgress::Tick> script;
        std::vector<BarSeen> seen;
        const char* why;
    } cases[] = {
        {{{100, 1000}, {400, 1000}, {1000, 1000}, {0, 0}},
         {hidden, {true, 1000, 100}, {true, 1000, 400}, {true, 1000, 1000}},
         "a trickled package moves the bar forward to its end"},
        {{{0, 0}},
         {hidden},
         "resolving, connecting: no bar, and the window goes at its first tick"},
        {{{100, 0}, {300, 1000}, {0, 0}},
         {hidden, hidden, {true, 1000, 300}},
         "no length known yet: nothing shown until there is one"},
        {{{800, 1000}, {1300, 1000}, {0, 0}},
         {hidden, {true, 1000, 800}, {true, 1000, 1000}},
         "a server sending the file again from its start: never beyond the end"},
        {{{600, 1000}, {300, 1000}, {0, 0}},
         {hidden, {true, 1000, 600}, {true, 1000, 600}},
         "never backwards"},
        {{{400, 1000}, {400, 1000}, {700, 1000}, {0, 0}},
         {hidden, {true, 1000, 400}, {true, 1000, 400}, {true, 1000, 700}},
         "a download that stalls and resumes goes on from where it was"},
        {{{1000, 1000}, {1000, 0}, {0, 0}},
         {hidden, {true, 1000, 1000}, {true, 1000, 1000}},
         "the task ends between a tick's two reads (bytes, no length): the bar stays"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        // Each wait loads a fresh preparing window, so its bar starts hidden again.
        std::vector<BarSeen> seen = waitWith(c.script);
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(labels, std::set<std::string>{"正在准备试题，请稍候..."})
            << "the label's text is unchanged";
    }
}

// ---- With the real download service ----

class BadNetworkTest : public QuestionTest {
  protected:
    // Records the preparing window's bar at each poll (what the previous tick made of it).
    void watchTheBar(std::vector<BarSeen>& seen) {
        download->beforePoll = [this, &seen] {
            for (const auto& w : windows.windows()) {
                if (w->name() != kPreparingWindow.name || !w->exists()) continue;
                auto& bar = w->progressBar(k进度条1);
                seen.push_back({bar.visible(), bar.range(), bar.position()});
            }
        };
    }
};

TEST_F(BadNetworkTest, ATrickledPackageMovesTheBarForwardToItsEnd) {
    const std::string body = package("Word-1") + std::string(60000, 'x');
    const auto size = static_cast<int32_t>(body.size());
    route("/Kavrel/Word-1.zip", [body](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(body, r);
        reply.trickleBytes = 3000;
        reply.trickleDelayMs = 30;
        reply.stallAfter = body.size() - 100;  // the last bytes wait: a tick sees the bar there
        reply.stallMs = 700;
        return reply;
    });
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    std::vector<BarSeen> seen;
    watchTheBar(seen);
    bool first = true;
    auto watch = download->beforePoll;
    download->beforePoll = [&] {
        if (first) {
            EXPECT_TRUE(waitForBytes());  // the body has begun by the first tick
        }
        first = false;
        watch();
    };
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);

    ASSERT_GE(seen.size(), 3u);
    EXPECT_FALSE(seen.front().visible) << "hidden as loaded";
    int32_t last = 0;
    bool partWay = false;
    for (size_t i = 1; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(seen[i].visible);
        EXPECT_EQ(seen[i].range, size);
        EXPECT_GE(seen[i].position, last) << "monotonic";
        last = seen[i].position;
        partWay = partWay || (seen[i].position > 0 && seen[i].position < size - 100);
    }
    EXPECT_TRUE(partWay) << "seen part-way";
    // As far as the bytes had come: the held-back end, or the whole when a tick fell between
    // the last byte and the task's end.
    EXPECT_GE(last, size - 100);
    EXPECT_LE(last, size);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), body);
}

TEST_F(BadNetworkTest, AResumedDownloadContinuesFromWhereItWas) {
    const std::string body = package("Word-1") + std::string(60000, 'x');
    const auto size = static_cast<int32_t>(body.size());
    const size_t half = body.size() / 2;
    route("/Kavrel/Word-1.zip", [body, half](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(body, r);
        reply.trickleBytes = 2000;
        reply.trickleDelayMs = 20;
        if (!r.rangeFrom) reply.dropAfter = half;  // the connection drops half-way
        return reply;
    });
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    std::vector<BarSeen> seen;
    watchTheBar(seen);
    auto watch = download->beforePoll;
    bool first = true;
    download->beforePoll = [&] {
        if (first) {
            EXPECT_TRUE(waitForBytes());
        }
        first = false;
        watch();
    };
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);

    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), body);
    ASSERT_GE(server.requests().size(), 3u) << "catalogue, first try, resumed try";
    ASSERT_TRUE(server.requests().back().rangeFrom);
    EXPECT_EQ(*server.requests().back().rangeFrom, static_cast<int64_t>(half));
    // The count the bar is fed never falls back to 0 while the task runs, and the bar follows.
    for (size_t i = 0; i + 1 < download->polls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(download->polls[i], 0);
        EXPECT_LE(download->polls[i], download->polls[i + 1] > 0 ? download->polls[i + 1] : size);
    }
    int32_t last = 0;
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].range, size);
        EXPECT_GE(seen[i].position, last);
        last = seen[i].position;
    }
}

// ---- The last catalogue ----

constexpr std::string_view kYesterdaysCatalogue =
    "[题目数量]\r\nWord题数量=5\r\n[操作要求]\r\nWord第1题=昨天的要求\r\n";

// What the student sees of the exam folder: hidden files are left out of the listing.
std::set<std::string> visibleExamFolder() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(fsPath(exam::kExamFolder))) {
        std::string name = e.path().filename().string();
#ifdef _WIN32
        DWORD a = GetFileAttributesW(e.path().c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN)) continue;
#else
        if (name.starts_with(".")) continue;
#endif
        names.insert(name);
    }
    return names;
}

void writeExamFile(const std::string& path, std::string_view bytes) {
    exam::ensureExamFolder();
    auto file = platform::File::open(path, platform::File::Mode::CreateAlways);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write(bytes.data(), static_cast<int64_t>(bytes.size())));
}

enum class Server { Fresh, NotFound, Down };
enum class Before { Nothing, Yesterday, YesterdayWithCopyBlocked };

struct CatalogueCase {
    Before before;
    Server server;
    int32_t wordCount;
    std::string word1;
    const char* why;
};

void PrintTo(const CatalogueCase& c, std::ostream* out) {
    *out << c.why;
}

class CatalogueKept : public QuestionTest, public ::testing::WithParamInterface<CatalogueCase> {};

TEST_P(CatalogueKept, CountsAndRequirementsComeFromTheLastCatalogueUntilAFreshOneArrives) {
    const CatalogueCase& c = GetParam();
    SCOPED_TRACE(c.why);
    const std::string copy = exam::setAsidePath(exam::cataloguePath());
    if (c.before != Before::Nothing)
        writeExamFile(exam::cataloguePath(), *platform::utf8ToGbk(kYesterdaysCatalogue));
    if (c.before == Before::YesterdayWithCopyBlocked) fs::create_directories(fsPath(copy));
    if (c.server == Server::NotFound)
        route("/Kavrel/config.txt", [](const HttpRequest&) {
            return tovren::testing::statusReply(404, {"Content-Length: 0"});
        });
    if (c.server == Server::Down)
        program.serverBase = "http://127.0.0.1:" + std::to_string(tovren::testing::unusedPort());

    training = windows.load(kTrainingWindow, nullptr, false,
                            [this](win::Window& w) { bindTrainingWindow(w, program); });
    ASSERT_NE(training, nullptr);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(visibleExamFolder().count(".config.ini.last"), 0u) << "the copy is not listed";

    driver->pickItem(training->comboBox(k组合框_选择题型), 1);
    EXPECT_EQ(program.state.questionCount, c.wordCount);
    EXPECT_EQ(training->comboBox(k组合框_选择题目).itemCount(), c.wordCount);
    if (c.wordCount > 0) {
        driver->pickItem(training->comboBox(k组合框_选择题目), 0);
        EXPECT_EQ(requirementText(), c.word1);
    }
    if (c.server == Server::Fresh) {
        EXPECT_TRUE(platform::pathExists(exam::cataloguePath()));
        if (c.before != Before::YesterdayWithCopyBlocked) {
            EXPECT_FALSE(platform::pathExists(copy))
                << "the old one is dropped once the fresh one is read";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BadNetwork, CatalogueKept,
    ::testing::Values(CatalogueCase{Before::Yesterday, Server::Fresh, 3, std::string(kWord1Text),
                                    "a working server: the fresh one"},
                      CatalogueCase{Before::Yesterday, Server::Down, 5, "昨天的要求\r\n",
                                    "server down: yesterday's"},
                      CatalogueCase{Before::Yesterday, Server::NotFound, 5, "昨天的要求\r\n",
                                    "no catalogue on the server: yesterday's"},
                      CatalogueCase{Before::Nothing, Server::Down, 0, "",
                                    "server down, no catalogue ever: 0 questions"},
                      CatalogueCase{Before::Nothing, Server::Fresh, 3, std::string(kWord1Text),
                                    "the first start"},
                      CatalogueCase{Before::YesterdayWithCopyBlocked, Server::Down, 0, "",
                                    "no copy can be made: deleted and fetched, as always"},
                      CatalogueCase{Before::YesterdayWithCopyBlocked, Server::Fresh, 3,
                                    std::string(kWord1Text),
                                    "no copy can be made, a working server: the fresh one"}));

TEST_F(BadNetworkTest, AFreshCatalogueThatArrivesLaterIsUsedFromTheNextChoice) {
    writeExamFile(exam::cataloguePath(), *platform::utf8ToGbk(kYesterdaysCatalogue));
    route("/Kavrel/config.txt", [](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(*platform::utf8ToGbk(kCatalogueText), r);
        reply.stallBeforeHead = true;  // the server comes back a moment later
        reply.stallMs = 1500;
        return reply;
    });
    training = windows.load(kTrainingWindow, nullptr, false,
                            [this](win::Window& w) { bindTrainingWindow(w, program); });
    ASSERT_NE(training, nullptr);
    auto& types = training->comboBox(k组合框_选择题型);
    driver->pickItem(types, 1);
    EXPECT_EQ(program.state.questionCount, 5) << "yesterday's, while the fresh one is on its way";
    ASSERT_TRUE(waitIdle());
    driver->pickItem(types, 1);
    EXPECT_EQ(program.state.questionCount, 3) << "the fresh one";
    EXPECT_FALSE(platform::pathExists(exam::setAsidePath(exam::cataloguePath())));
}

// ---- The last package of a question ----

enum class Package { None, Yesterday, Damaged, YesterdayWithCopyBlocked };
enum class Answer { Fresh, NotFound, DroppedHalfWay, RefusedName };

struct PackageCase {
    Package before;
    Answer answer;
    const char* unpacked;  // the text of Word-1\说明.txt afterwards, nullptr: no folder at all
    const char* why;
};

void PrintTo(const PackageCase& c, std::ostream* out) {
    *out << c.why;
}

class PackageKept : public QuestionTest, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(PackageKept, TheFolderButtonUnpacksTheFreshPackageElseTheLastOne) {
    const PackageCase& c = GetParam();
    SCOPED_TRACE(c.why);
    const std::string zip = exam::packagePath("Word", "1"), copy = exam::setAsidePath(zip);
    const std::string fresh = package("Word-1");
    switch (c.answer) {
        case Answer::Fresh:
            break;
        case Answer::NotFound:
            route("/Kavrel/Word-1.zip", [](const HttpRequest&) {
                return tovren::testing::statusReply(404, {"Content-Length: 0"});
            });
            break;
        case Answer::DroppedHalfWay:
            // Half the body, then every try drops before a byte: the retries run out.
            route("/Kavrel/Word-1.zip", [fresh](const HttpRequest& r) {
                HttpReply reply = tovren::testing::fileReply(fresh, r);
                reply.dropAfter = r.rangeFrom ? 0 : fresh.size() / 2;
                return reply;
            });
            break;
        case Answer::RefusedName:
            route("/Kavrel/Word-1.zip", [fresh](const HttpRequest& r) {
                return tovren::testing::fileReply(
                    fresh, r, {"Content-Disposition: attachment; filename=\"CON.zip\""});
            });
            break;
    }
    win::Window& w = load();
    if (c.before == Package::Yesterday || c.before == Package::YesterdayWithCopyBlocked)
        writeExamFile(zip, package("yesterday"));
    if (c.before == Package::Damaged)
        writeExamFile(zip, "PK\x03\x04 and then nothing of a zip at all, padding padding");
    if (c.before == Package::YesterdayWithCopyBlocked) fs::create_directories(fsPath(copy));

    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(requirementText(), kWord1Text);
    std::set<std::string> listed = visibleExamFolder();
    EXPECT_EQ(listed.count(".Word-1.zip.last"), 0u) << "the copy is not listed";

    driver->click(w.button(k打开考试文件夹));
    EXPECT_EQ(driver->shellCalls(), std::vector<std::string>{"explore|c:\\Kavrel"});
    const std::string unpackedFolder = exam::unpackFolder("Word", "1");
    if (!c.unpacked) {
        EXPECT_FALSE(platform::pathExists(unpackedFolder)) << "nothing to unpack: nothing made";
    } else if (std::string_view(c.unpacked).empty()) {
        ASSERT_TRUE(platform::isDirectory(unpackedFolder));
        EXPECT_TRUE(fs::is_empty(fsPath(unpackedFolder)))
            << "a damaged package: nothing half-written";
    } else {
        EXPECT_EQ(readFile(unpackedFolder + "\\说明.txt"), c.unpacked);
        EXPECT_EQ(readFile(unpackedFolder + "\\数据\\表.csv"),
                  "1,2,3 " + std::string(c.unpacked).substr(8));
    }
    if (c.answer == Answer::Fresh && c.before != Package::YesterdayWithCopyBlocked) {
        EXPECT_EQ(readFile(zip), fresh);
        EXPECT_FALSE(platform::pathExists(copy))
            << "once the fresh one is unpacked the old one goes";
        EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\Word-1(1).zip"))
            << "one copy, no pile of them";
    }
    if (c.before == Package::YesterdayWithCopyBlocked) {
        EXPECT_EQ(readFile(zip), package("yesterday")) << "nothing the student had is lost";
        EXPECT_EQ(readFile("c:\\Kavrel\\Word-1(1).zip"), fresh)
            << "the fresh one beside it, as always";
    }
}

INSTANTIATE_TEST_SUITE_P(
    BadNetwork, PackageKept,
    ::testing::Values(
        PackageCase{Package::Yesterday, Answer::Fresh, "read me Word-1",
                    "a fresh package is always the one unpacked"},
        PackageCase{Package::None, Answer::Fresh, "read me Word-1", "the first fetch"},
        PackageCase{Package::Yesterday, Answer::NotFound, "read me yesterday", "404: yesterday's"},
        PackageCase{Package::Yesterday, Answer::DroppedHalfWay, "read me yesterday",
                    "dropped half-way: yesterday's"},
        PackageCase{Package::Yesterday, Answer::RefusedName, "read me yesterday",
                    "a refused name: yesterday's"},
        PackageCase{Package::Damaged, Answer::NotFound, "",
                    "a damaged copy: result 0, as any damaged package"},
        PackageCase{Package::None, Answer::NotFound, nullptr, "nothing ever: nothing unpacked"},
        PackageCase{Package::YesterdayWithCopyBlocked, Answer::Fresh, "read me yesterday",
                    "no copy can be made: the old package stays and is unpacked, as always"}));

TEST_F(BadNetworkTest, TheLastPackageIsKeptHiddenAcrossFailedFetches) {
    route("/Kavrel/Word-1.zip", [](const HttpRequest&) {
        return tovren::testing::statusReply(404, {"Content-Length: 0"});
    });
    win::Window& w = load();
    writeExamFile(exam::packagePath("Word", "1"), package("yesterday"));
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        driver->pickItem(w.comboBox(k组合框_选择题目), 0);
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(readFile(exam::setAsidePath(exam::packagePath("Word", "1"))),
                  package("yesterday"));
    }
    std::set<std::string> all;
    for (const auto& e : fs::directory_iterator(fsPath(exam::kExamFolder)))
        all.insert(e.path().filename().string());
    EXPECT_EQ(all, (std::set<std::string>{"config.ini", ".Word-1.zip.last"}))
        << "one copy, however many tries";
    EXPECT_EQ(visibleExamFolder(), std::set<std::string>{"config.ini"});
}

}  // namespace
}  // namespace tovren::ui::testing
