#include "brand_runner.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "exam/brand_place.h"
#include "fetch/address.h"
#include "pe_image.h"
#include "platform/text.h"
#include "tool_common.h"

namespace tovren::tool {
namespace {

namespace fs = std::filesystem;

// tovren.exe is a few megabytes; a file far larger is something else and is not read whole.
constexpr std::uintmax_t kMaxExecutableBytes = 64 * 1024 * 1024;
constexpr std::string_view kPartSuffix = ".brand-part";

fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool isHostChar(unsigned char c) {
    // Anything that would end the host or start a path, query, user or port; no spaces.
    return c > 0x20 && c != 0x7F && !std::strchr("/\\?#@:", c);
}

// An address as a message shows it: control characters (a pasted line break) as '?', so the
// message stays one line.
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

struct Request {
    std::string exe, out;
    std::optional<std::string> serverBase;
    std::optional<std::string> testingSiteBase;
};

std::optional<Request> parseArguments(const Arguments& args, std::string& usageMessage) {
    Request r;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--server-base" || a == "--testing-site-base") {
            if (i + 1 >= args.size()) {
                usageMessage = a + " needs an address";
                return std::nullopt;
            }
            (a == "--server-base" ? r.serverBase : r.testingSiteBase) = args[++i];
        } else if (a.starts_with("--")) {
            usageMessage = "unknown brand option '" + a + "'";
            return std::nullopt;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2 || !r.serverBase) {
        usageMessage = "brand takes EXE, --server-base URL and OUT";
        return std::nullopt;
    }
    r.exe = positional[0];
    r.out = positional[1];
    for (auto [option, value] : {std::pair{"--server-base", &r.serverBase},
                                 std::pair{"--testing-site-base", &r.testingSiteBase}}) {
        if (!*value) continue;
        if (std::optional<std::string> problem = baseAddressProblem(**value)) {
            usageMessage = std::string(option) + " '" + printable(**value) + "': " + *problem;
            return std::nullopt;
        }
    }
    return r;
}

class Brander {
  public:
    Brander(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    int run(const Request& request) {
        if (!readExecutable(pathOf(request.exe)) || !findPlace(request.exe)) return fail();
        writeField(exam::kServerBaseOffset, *request.serverBase);
        if (request.testingSiteBase) writeField(exam::kTestingSiteBaseOffset, *request.testingSiteBase);
        fixChecksum();
        if (!writeCopy(pathOf(request.exe), pathOf(request.out))) return fail();
        std::fprintf(out_, "%s\tserver %.*s\ttesting site %.*s\n", request.out.c_str(),
                     static_cast<int>(field(exam::kServerBaseOffset).size()), field(exam::kServerBaseOffset).data(),
                     static_cast<int>(field(exam::kTestingSiteBaseOffset).size()),
                     field(exam::kTestingSiteBaseOffset).data());
        return 0;
    }

  private:
    bool refuse(std::string message) {
        problem_ = std::move(message);
        return false;
    }
    int fail() {
        std::fprintf(err_, "tovren-tool brand: %s\n", problem_.c_str());
        return 1;
    }

    bool readExecutable(const fs::path& path) {
        const std::string name = utf8Of(path);
        std::error_code error;
        std::uintmax_t size = fs::file_size(path, error);
        if (error) return refuse("cannot read " + name + ": " + error.message());
        if (size > kMaxExecutableBytes) return refuse(name + " is no tovren.exe: far larger than one");
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), {});
        if (!in.good() && !in.eof()) return refuse("cannot read " + name);
        if (std::optional<std::string> problem = peProblem(bytes_)) return refuse(name + " is no tovren.exe: " + *problem);
        image_ = readPeImage(bytes_);
        if (image_.subsystem != kSubsystemWindowsGui)
            return refuse(name + " is no tovren.exe: a console program (tovren.exe opens a window)");
        if (image_.signedImage)
            return refuse(name + " is signed and a branded copy would carry a broken signature: "
                                 "brand the unsigned exe, then sign the copy");
        return true;
    }

    bool findPlace(const std::string& name) {
        std::optional<PeSection> section = findSection(bytes_, exam::kBrandSectionName);
        std::string marker(exam::kBrandMarker);
        marker.resize(exam::kBrandMarkerBytes, '\0');
        if (!section || section->size < sizeof(exam::BrandPlace) ||
            std::string_view(bytes_).substr(section->fileOffset, marker.size()) != marker)
            return refuse(name + " has no brand place of this version (an exe of another version?): "
                                 "use the tovren-tool that came with it");
        place_ = section->fileOffset;
        return true;
    }

    void writeField(std::size_t offset, const std::string& address) {
        std::string padded = address;
        padded.resize(exam::kBrandAddressBytes, '\0');
        bytes_.replace(place_ + offset, padded.size(), padded);
    }
    std::string_view field(std::size_t offset) const {
        std::string_view f = std::string_view(bytes_).substr(place_ + offset, exam::kMaxBrandAddressLength);
        return f.substr(0, f.find('\0'));
    }

    // Windows checks the checksum of drivers and some system DLLs only; kept right all the same.
    void fixChecksum() {
        uint32_t sum = peChecksum(bytes_, image_.checksumOffset);
        for (int i = 0; i < 4; ++i) bytes_[image_.checksumOffset + i] = static_cast<char>(sum >> (8 * i));
    }

    bool writeCopy(const fs::path& exe, const fs::path& target) {
        const std::string name = utf8Of(target);
        std::error_code error;
        if (fs::equivalent(exe, target, error))
            return refuse(name + " is the exe itself; brand writes a copy and never changes the exe");
        fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        if (!fs::is_directory(folder, error)) return refuse("cannot write " + name + ": no folder " + utf8Of(folder));
        if (fs::is_directory(target, error)) return refuse("cannot write " + name + ": it is a folder");
        fs::path temporary = target;
        temporary += std::string(kPartSuffix);
        {
            std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
            if (!file) return refuse("cannot write " + name + ": cannot create a file in " + utf8Of(folder));
            file.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
            file.close();
            if (!file) {
                fs::remove(temporary, error);
                return refuse("cannot write " + name + ": writing failed (disk full?)");
            }
        }
        fs::rename(temporary, target, error);
        if (error) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return refuse("cannot write " + name + ": " + error.message());
        }
        return true;
    }

    std::FILE* out_;
    std::FILE* err_;
    std::string bytes_;
    PeImage image_;
    std::size_t place_ = 0;
    std::string problem_;
};

}  // namespace

std::optional<std::string> baseAddressProblem(std::string_view address) {
    // The scheme in any case, as the client and the configure step read it.
    constexpr std::string_view kScheme = "http://";
    std::string scheme(address.substr(0, kScheme.size()));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != kScheme) return "not a plain http:// address (https and other schemes are not fetched)";
    std::string_view rest = address.substr(kScheme.size());
    std::size_t colon = rest.find(':');
    std::string_view host = rest.substr(0, colon);
    if (host.empty()) return "no host after http://";
    for (unsigned char c : host) {
        if (c == '/') return "a path or trailing \"/\" after the host (give http://host[:port] only)";
        if (!isHostChar(c)) return "the host holds a character that no host name has";
    }
    if (colon != rest.npos) {
        std::string_view port = rest.substr(colon + 1);
        if (std::size_t slash = port.find('/'); slash != port.npos)
            return "a path or trailing \"/\" after the port (give http://host[:port] only)";
        bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == port.npos;
        if (!digits || std::stoul(std::string(port)) == 0 || std::stoul(std::string(port)) > 65535)
            return "the port is not a number from 1 to 65535";
    }
    if (address.size() > exam::kMaxBrandAddressLength)
        return "longer than the " + std::to_string(exam::kMaxBrandAddressLength) + " bytes the exe holds";
    std::optional<std::string> gbk = platform::utf8ToGbk(address);
    if (!gbk) return "a character without a GBK form (the client sends addresses in GBK)";
    // Last, the client's own reading of the first address it builds on this base.
    std::optional<fetch::Address> parsed = fetch::parseAddress(*gbk + "/Kavrel/config.txt");
    if (!parsed || parsed->scheme != fetch::Scheme::Http) return "the client cannot read it as an http address";
    return std::nullopt;
}

int brandExecutable(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage) {
    std::optional<Request> request = parseArguments(args, usageMessage);
    if (!request) return kUsageError;
    return Brander(out, err).run(*request);
}

}  // namespace tovren::tool
