// The installer's two readers of its payload archive, ReadAgreementText and
// UnpackPayload, over arbitrary installer files, with the file system's
// refusals (no temporary file, a write that fails, a file that cannot be
// replaced, an install folder that cannot be entered) as further inputs.
//
// Whatever the file holds: no read outside the file's bytes, no unbounded
// allocation; the agreement text holds no NUL and T is the file's last four
// bytes; UnpackPayload writes only plain file names into the install folder,
// only bytes that stand in the archive, only files it asked about and was
// told to write, and never leaves a temporary file behind. In the second
// mode the input describes entries instead, the build tool writes them as an
// archive, and both readers must give back exactly what was written.
//
// Input: a mode byte (structured or raw), a byte of refusals, a byte of
// overwrite answers, the install folder's length, then the installer file
// (raw) or the entries (structured).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "payload_format.h"
#include "payload_reader.h"
#include "payload_writer.h"
#include "platform.h"

namespace zt::fuzz {
namespace {

using zarnsetup::Bytes;

// The installer file lives in memory; the readers open it by path.
class InstallerFile {
public:
    InstallerFile() : fd_(memfd_create("zarnsetup.exe", 0)) {
        if (fd_ < 0) Fail("memfd_create");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    const std::string& Write(const unsigned char* data, std::size_t size) {
        if (ftruncate(fd_, 0) != 0) Fail("ftruncate");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) Fail("pwrite");
            done += static_cast<std::size_t>(n);
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

// The machine as UnpackPayload sees it: one install folder, files in memory.
class MemoryPlatform final : public zarnsetup::Platform {
public:
    MemoryPlatform(std::string folder, std::uint8_t refusals) : folder_(std::move(folder)), refusals_(refusals) {}
    ~MemoryPlatform() override {
        for (auto& [path, t] : temps_) std::free(t->data);
    }

    std::map<std::string, std::string> files;  // finished files by path
    std::size_t TempsLeft() const { return temps_.size(); }

    std::string ExecutablePath() override { return {}; }
    zarnsetup::InstanceHandle Instance() override { return nullptr; }
    zarnsetup::WindowHandle DesktopWindow() override { return nullptr; }
    int ShowAgreementDialog(zarnsetup::WindowHandle, const std::string&, const std::string&) override { return -1; }
    int ShowOverwriteDialog(zarnsetup::WindowHandle, const std::string&, const std::string&) override { return -1; }
    void ShowMessage(zarnsetup::WindowHandle, const std::string&, const std::string&, zarnsetup::MessageKind) override {}
    void ShellOpen(zarnsetup::WindowHandle, const std::string&) override {}
    char CurrentDrive() override { return 'C'; }
    bool SelectDrive(char) override { return true; }
    bool SetCurrentFolder(const std::string& path) override {
        return path == folder_ && !Refuse(0);
    }
    bool CreateFolder(const std::string&) override { return false; }
    std::vector<std::string> FindNames(const std::string&) override { return {}; }
    bool CopyFileNoReplace(const std::string&, const std::string&) override { return false; }

    std::FILE* OpenFile(const std::string& path, const char* mode) override {
        auto it = temps_.find(path);
        if (it == temps_.end() || std::string(mode) != "wb" || it->second->file != nullptr) return nullptr;
        if (Refuse(1)) return std::fopen("/dev/full", mode);  // every write fails, as on a full disk
        Temp& t = *it->second;
        t.file = open_memstream(&t.data, &t.size);
        return t.file;
    }
    std::string CreateTempFile(const std::string& folder) override {
        if (folder != folder_ || Refuse(2)) return {};
        const std::string path = folder + "\\zst" + std::to_string(made_++) + ".tmp";
        temps_[path] = std::make_unique<Temp>();
        return path;
    }
    bool MoveReplacing(const std::string& from, const std::string& to) override {
        auto it = temps_.find(from);
        ZT_FUZZ_CHECK(it != temps_.end(), "moved a file that is not a temporary file: " + from);
        if (Refuse(3)) return false;
        Temp& t = *it->second;
        files[to] = t.data != nullptr ? std::string(t.data, t.size) : std::string();
        std::free(t.data);
        temps_.erase(it);
        return true;
    }
    bool RemoveFile(const std::string& path) override {
        auto it = temps_.find(path);
        if (it == temps_.end()) return false;
        std::free(it->second->data);
        temps_.erase(it);
        return true;
    }

private:
    struct Temp {
        std::FILE* file = nullptr;  // closed by the reader, which owns it
        char* data = nullptr;
        std::size_t size = 0;
    };

    // Refusal kinds 0..3, each asked for by two bits: never, on the first
    // call, or on every call from the second on.
    bool Refuse(int kind) {
        const int plan = (refusals_ >> (2 * kind)) & 3;
        const int n = ++calls_[kind];
        return (plan == 1 && n == 1) || (plan == 2 && n >= 2) || plan == 3;
    }

    std::string folder_;
    std::uint8_t refusals_;
    int calls_[4] = {};
    int made_ = 0;
    std::map<std::string, std::unique_ptr<Temp>> temps_;
};

std::uint32_t BigEndianTail(const Bytes& file) {
    if (file.size() < 4) return 0;
    return zarnsetup::DecodeBigEndian32(&file[file.size() - 4]);
}

struct Decisions {
    std::uint8_t bits;
    std::vector<std::string> asked;
    std::set<std::string> written;  // names answered with Write
};

// An entry name the build tool accepts, made from input bytes.
std::string PlainName(ByteReader& in) {
    const std::uint8_t m = in.Byte();
    if (m < 128) {
        const char* known[] = {"DEC09.ELD", "zarntrade.dll", "ZRVOMO.tsw", "README.rtf", "eula.txt", "a"};
        return known[m % 6];
    }
    std::string name;
    const std::size_t length = 1 + (m % 4 == 0 ? in.Byte() : in.Byte() % 16);
    for (std::size_t i = 0; i < length && name.size() < 259; ++i) {
        const char c = static_cast<char>(in.Byte());
        name.push_back(c == 0 || c == '\\' || c == '/' || c == ':' ? '_' : c);
    }
    if (name == "." || name == "..") name = "dot";
    return name;
}

Bytes Data(ByteReader& in) {
    const std::size_t n = in.Byte() % 4 == 0 ? in.Uint16() % 4096 : in.Byte();
    const std::string_view bytes = in.Bytes(n);
    return Bytes(bytes.begin(), bytes.end());
}

void Run(ByteReader& in) {
    static InstallerFile installer;
    const std::uint8_t mode = in.Byte();
    const std::uint8_t refusals = in.Byte() % 4 == 0 ? in.Byte() : 0;
    Decisions decisions{in.Byte(), {}, {}};
    const std::string folder = "C:\\" + std::string(1 + in.Byte(), 'z');
    const bool structured = mode % 2 == 1;

    // The structured mode: what the build tool writes.
    std::vector<zarnsetup::ArchiveEntry> fileEntries, textEntries;
    Bytes file;
    if (structured) {
        const std::string_view image = in.Bytes(in.Byte() % 32);
        file.assign(image.begin(), image.end());
        const int files = in.Byte() % 6, texts = in.Byte() % 4;
        for (int i = 0; i < files; ++i) fileEntries.push_back({static_cast<std::uint8_t>(1 + in.Byte() % 3), PlainName(in), Data(in)});
        for (int i = 0; i < texts; ++i) textEntries.push_back({static_cast<std::uint8_t>(1 + in.Byte() % 3), PlainName(in), Data(in)});
        const Bytes a = zarnsetup::BuildSegment(fileEntries), b = zarnsetup::BuildSegment(textEntries);
        file.insert(file.end(), a.begin(), a.end());
        file.insert(file.end(), b.begin(), b.end());
    } else {
        const std::string_view rest = in.Bytes(in.Left());
        file.assign(rest.begin(), rest.end());
    }
    const std::string& path = installer.Write(file.data(), file.size());

    const zarnsetup::AgreementText agreement = zarnsetup::ReadAgreementText(path);
    ZT_FUZZ_CHECK(agreement.textSegmentLength == BigEndianTail(file), "T is not the file's last four bytes");
    ZT_FUZZ_CHECK(agreement.text.find('\0') == std::string::npos, "the agreement text holds a NUL");
    ZT_FUZZ_CHECK(agreement.text.size() <= file.size(), "the agreement text is longer than the file");

    MemoryPlatform platform(folder, refusals);
    zarnsetup::SetOverwriteDecision([&decisions](zarnsetup::WindowHandle, const std::string& name) {
        const bool skip = (decisions.bits >> (decisions.asked.size() % 8)) & 1u;
        decisions.asked.push_back(name);
        if (!skip) decisions.written.insert(name);
        return skip ? zarnsetup::OverwriteChoice::Skip : zarnsetup::OverwriteChoice::Write;
    });
    const bool unpacked = zarnsetup::UnpackPayload(platform, path, nullptr, folder, agreement.textSegmentLength);
    zarnsetup::SetOverwriteDecision(nullptr);

    ZT_FUZZ_CHECK(platform.TempsLeft() == 0, "a temporary file was left behind");
    const std::string text(file.begin(), file.end());
    for (const auto& [target, content] : platform.files) {
        ZT_FUZZ_CHECK(target.size() > folder.size() + 1 && target.compare(0, folder.size() + 1, folder + "\\") == 0,
                      "wrote outside the install folder: " + target);
        const std::string name = target.substr(folder.size() + 1);
        ZT_FUZZ_CHECK(zarnsetup::IsPlainFileName(name), "wrote a name that is not a plain file name: " + name);
        ZT_FUZZ_CHECK(decisions.written.count(name) != 0, "wrote " + name + " without being told to");
        ZT_FUZZ_CHECK(text.find(content) != std::string::npos, "wrote bytes that are not in the archive: " + name);
    }
    if (!structured) return;

    // What was built comes back exactly.
    std::string expectedText;
    for (const auto& e : textEntries)
        if (e.type == zarnsetup::ENTRY_TEXT) {
            const std::string t(e.data.begin(), e.data.end());
            expectedText = t.substr(0, t.find('\0'));
        }
    ZT_FUZZ_CHECK(agreement.text == expectedText, "the agreement text differs from the one written");

    std::map<std::string, std::string> expectedFiles;
    bool expectSuccess = refusals == 0;
    for (std::size_t i = 0; i < fileEntries.size() && expectSuccess; ++i) {
        const auto& e = fileEntries[i];
        if (e.type == zarnsetup::ENTRY_FILE && folder.size() + 1 + e.name.size() >= zarnsetup::kPathBufferSize) {
            expectSuccess = false;
            break;
        }
        ZT_FUZZ_CHECK(i < decisions.asked.size() && decisions.asked[i] == e.name,
                      "entry " + std::to_string(i + 1) + " (" + e.name + ") was not asked about in order");
        if (!((decisions.bits >> (i % 8)) & 1u)) expectedFiles[folder + "\\" + e.name] = std::string(e.data.begin(), e.data.end());
    }
    if (refusals != 0) return;  // the file system's refusals end unpacking part-way
    ZT_FUZZ_CHECK(unpacked == expectSuccess, unpacked ? "unpacking succeeded with a path too long" : "unpacking failed");
    ZT_FUZZ_CHECK(platform.files == expectedFiles, "the files written differ from the archive's entries");
}

}  // namespace
}  // namespace zt::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zt::fuzz::ByteReader in(data, size);
    zt::fuzz::Run(in);
    return 0;
}
