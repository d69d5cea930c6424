// Signed publications through real processes: a release published with
// --sign into a location served by nginx, zephron-cli update run against it
// with the maker's key registered; and every way a signed publication can
// be tampered with, each refused with its own report while the
// installation stays as it was.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "engine/signing.h"
#include "platform/version_info_writer.h"
#include "tests/driver/driver_fixture.h"
#include "tests/support/servers.h"
#include "tests/version/pe_writer.h"
#include "tools/zephron-publish/signing_keys.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProductKey = "Software\\Corvexis\\Vardel Quillon";

std::string Program(const std::string& version, const std::string& filler) {
  const auto content = platform::MakeVersionContent({version, version, "Vardel Quillon", "Corvexis", "program"});
  return MakePe(TypicalPe(*platform::BuildVersionInfo(*content), false)) + filler;
}

// Each file's bytes by path; the setup program the engine wrote is not the release's.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const std::string path = fs::relative(item.path(), folder).generic_string();
    if (item.is_regular_file() && path != "zephronsetup.exe" && path != "quillon.INF") files[path] = ReadFile(item.path());
  }
  return files;
}

class SignedUpdate : public DriverFixture {
 public:
  void SetUp() override {
    DriverFixture::SetUp();
    const char* path = std::getenv("PATH");
    sandbox.SetEnv("PATH", (BuildDir() / "tools/patcher").string() + ":" + (path ? path : "/usr/bin:/bin"));
    std::string library;
    for (int i = 0; i < 4000; ++i) library += static_cast<char>((i * 7919) % 251);
    v1 = sandbox.root() / "v1";
    v2 = sandbox.root() / "v2";
    WriteFile(v1 / "Quillon.exe", Program("1.0.0.0", library));
    WriteFile(v1 / "lib.exe", library + "one");
    WriteFile(v1 / "sub/data.txt", "data one");
    WriteFile(v2 / "Quillon.exe", Program("2.0.0.0", library + "2"));
    WriteFile(v2 / "lib.exe", library + "two");
    WriteFile(v2 / "sub/data.txt", "data two");
    keyFile = sandbox.root() / "maker.key";
    const ProcessResult made = Run("tools/zephron-publish/zephron-publish", {"--keygen", keyFile.string()});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    publicKey = made.output.substr(0, made.output.find('\n'));
    folder = sandbox.root() / "install/Vardel Quillon";
    fs::create_directories(folder);
    fs::copy(v1, folder, fs::copy_options::recursive);
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, kProductKey);
    ASSERT_TRUE(key && key->WriteString("InstallPath", folder.string()) &&
                key->WriteString("UpdateURL", nginx.Url("/updates/")));
  }

  ProcessResult Run(const std::string& tool, std::vector<std::string> args) {
    args.insert(args.begin(), (BuildDir() / tool).string());
    return RunProgram(args);
  }
  void Publish(std::vector<std::string> extra) {
    std::vector<std::string> args{v2.string(), location().string(), "--product", "quillon",
                                  "--url", nginx.Url("/updates/")};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProcessResult published = Run("tools/zephron-publish/zephron-publish", args);
    ASSERT_EQ(published.exitCode, 0) << published.output;
  }
  void RegisterKey(const std::string& key) {
    auto product = platform::RegistryKey::Create(platform::Hive::LocalMachine, kProductKey);
    ASSERT_TRUE(product && product->WriteString("UpdatePublicKey", key));
  }
  fs::path location() const { return nginx.DocRoot() / "updates"; }
  fs::path inf() const { return location() / "quillon/quillon.INF"; }
  // The control file rewritten by edit and signed again with the maker's key.
  void Resign(const std::function<std::string(std::string)>& edit) {
    std::string error;
    const auto secret = publish::ReadKeyFile(keyFile, error);
    ASSERT_TRUE(secret) << error;
    const std::string text = edit(ReadFile(inf()));
    WriteFile(inf(), text);
    WriteFile(inf().string() + ".sig", *SignBase64(text, *secret) + "\n");
  }
  std::string Log() const { return ReadFile(sandbox.documents() / "ZEPHRON.LOG"); }
  // Updates, then waits (bounded) for the setup program's last log line.
  void UpdateAndAwaitSetup() {
    const ProcessResult result = Run("app/cli/zephron-cli", {"update", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    for (int i = 0; i < 400 && Log().find("UPD has EXE restarted") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(Log().find("UPD has EXE restarted"), std::string::npos) << result.output << Log();
  }

  NginxServer nginx;
  fs::path v1, v2, keyFile, folder;
  std::string publicKey;
};

TEST_F(SignedUpdate, SignedPublicationUpdatesAndRemembersItsTime) {
  struct stat st{};
  ASSERT_EQ(::stat(keyFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  Publish({"--sign", keyFile.string(), "--expires", "30"});
  const std::string text = ReadFile(inf());
  EXPECT_NE(text.find("published="), std::string::npos) << text;
  EXPECT_NE(text.find("expires="), std::string::npos) << text;
  EXPECT_NE(text.find("sha256=" + Sha256Hex(ReadFile(location() / "quillon/data.txt"))), std::string::npos) << text;
  RegisterKey(publicKey);
  UpdateAndAwaitSetup();
  EXPECT_EQ(Tree(folder), Tree(v2));
  const auto place = platform::RegistryKey::Open(platform::Hive::CurrentUser, "Software\\Corvexis\\Zephron\\Published");
  ASSERT_TRUE(place);
  const std::string published = text.substr(text.find("published=") + 10, 20);
  EXPECT_EQ(place->ReadString("quillon.inf").value_or(""), published);
}

struct Tamper {
  const char* name;
  std::vector<std::string> reports;  // log lines' starts
  std::function<void(SignedUpdate&)> apply;
};
void PrintTo(const Tamper& tamper, std::ostream* out) { *out << tamper.name; }

class RefusedPublication : public SignedUpdate, public ::testing::WithParamInterface<Tamper> {};

TEST_P(RefusedPublication, IsReportedAndLeavesTheInstallationAsItWas) {
  Publish({"--sign", keyFile.string()});
  RegisterKey(publicKey);
  GetParam().apply(*this);
  const ProcessResult result = Run("app/cli/zephron-cli", {"update", "--yes"});
  for (const std::string& report : GetParam().reports) {
    EXPECT_NE(Log().find(report), std::string::npos) << report << "\n" << result.output << Log();
  }
  // Nothing half-fetched stays behind either.
  for (const auto& item : fs::directory_iterator(folder)) EXPECT_NE(item.path().extension(), ".tmp") << item.path();
  EXPECT_EQ(Tree(folder).at("lib.exe"), ReadFile(v1 / "lib.exe"));
  EXPECT_EQ(Tree(folder).at("Quillon.exe"), ReadFile(v1 / "Quillon.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Tampering, RefusedPublication,
    ::testing::Values(
        Tamper{"OneByteChanged", {"[978] Signature of update control file does not verify"},
               [](SignedUpdate& t) {
                 std::string text = ReadFile(t.inf());
                 text[text.find("newversion=") + 11] ^= 1;
                 WriteFile(t.inf(), text);
               }},
        Tamper{"OtherKey", {"[978] Signature of update control file does not verify"},
               [](SignedUpdate& t) { t.RegisterKey(NewKeyPair().publicKeyBase64); }},
        Tamper{"MissingSignature", {"[977] Missing signature of update control file"},
               [](SignedUpdate& t) { fs::remove(t.inf().string() + ".sig"); }},
        Tamper{"ReplayedOlder", {"[979] Update control file older than the one accepted before"},
               [](SignedUpdate& t) {
                 // The installation has taken this publication once; an older
                 // one, validly signed, comes back.
                 const ProcessResult checked = t.Run("app/cli/zephron-cli", {"check"});
                 ASSERT_NE(t.Log().find("[929]"), std::string::npos) << checked.output << t.Log();
                 t.Resign([](std::string text) {
                   return text.replace(text.find("published=") + 10, 20, "2020-01-01T00:00:00Z");
                 });
               }},
        Tamper{"Expired", {"[980] Update control file expired : 2021-01-01T00:00:00Z"},
               [](SignedUpdate& t) {
                 t.Resign([](std::string text) {
                   return text.insert(text.find("published="), "expires=2021-01-01T00:00:00Z\r\n");
                 });
               }},
        Tamper{"FileSwappedAfterSigning", {"[981] Downloaded file does not match its digest", "[946] Cannot download update file"},
               [](SignedUpdate& t) { WriteFile(t.location() / "quillon/lib.exe", "not the signed bytes"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignedUpdate, WithoutAKeyASignedPublicationUpdatesAsAnyOther) {
  Publish({"--sign", keyFile.string()});
  WriteFile(location() / "quillon/quillon.INF.sig", "garbage");
  UpdateAndAwaitSetup();
  EXPECT_EQ(Tree(folder), Tree(v2));
}

}  // namespace
}  // namespace zephron::test
