#include "demo/SampleSigning.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "demo/ExternalTool.h"

namespace demo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRootSubject = "/O=Zelmarock Société/CN=Zelmarock Sample Root";
constexpr const char* kPublisherSubject = "/O=Zelmarock Société/CN=Zelmarock Sample Site Signing";
constexpr const char* kDays = "3650";
// Written last: a key folder with it is complete, one without it is started afresh.
constexpr const char* kHashFile = "publisher.spki-sha256";

struct KeyFiles {
    fs::path dir;
    fs::path rootKey = dir / "root.key";
    fs::path rootPem = dir / "root.pem";
    fs::path rootDer = dir / "root.der";
    fs::path key = dir / "publisher.key";
    fs::path request = dir / "publisher.csr";
    fs::path extensions = dir / "publisher.ext";
    fs::path certificate = dir / "publisher.pem";
    fs::path publicKey = dir / "publisher.spki.der";
    fs::path hash = dir / kHashFile;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file that appears whole under its name or not at all, with exactly this mode.
void WriteWhole(const fs::path& path, const std::string& text, mode_t mode) {
    const fs::path temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot write " + temporary.string());
    bool written = ::fchmod(fd, mode) == 0;
    for (std::size_t at = 0; written && at < text.size();) {
        const ssize_t put = ::write(fd, text.data() + at, text.size() - at);
        written = put > 0;
        if (written) at += static_cast<std::size_t>(put);
    }
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path.string());
    }
}

bool IsKeyHash(const std::string& text) {
    if (text.size() != 64) return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)) ||
            std::isupper(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string SerialNumber() {
    std::random_device random;
    std::string serial = "0x";
    const char* digits = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) serial += digits[random() % 16];
    return serial;
}

std::string Sha256Hex(const fs::path& file) {
    // "HASH *FILE" with -r; only the hash is ours to keep.
    const std::string printed = RunTool({"openssl", "dgst", "-sha256", "-r", file.string()});
    const std::string hash = printed.substr(0, printed.find(' '));
    if (!IsKeyHash(hash)) throw std::runtime_error("openssl dgst printed no hash: " + printed);
    return hash;
}

void PrepareKeyFolder(const fs::path& dir) {
    if (fs::exists(dir)) {
        if (!fs::is_directory(dir) || !fs::is_empty(dir))
            throw std::runtime_error(dir.string() +
                                     " holds no sample publisher and is not empty; "
                                     "give a new folder for the keys");
    }
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace);
}

void MakeKeys(const KeyFiles& files) {
    auto genkey = [](const fs::path& out) {
        RunTool({"openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048",
                 "-out", out.string()});
    };
    genkey(files.rootKey);
    RunTool({"openssl", "req", "-x509", "-new", "-utf8", "-key", files.rootKey.string(), "-subj",
             kRootSubject, "-days", kDays, "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-out", files.rootPem.string()});
    RunTool({"openssl", "x509", "-in", files.rootPem.string(), "-outform", "DER", "-out",
             files.rootDer.string()});

    genkey(files.key);
    RunTool({"openssl", "req", "-new", "-utf8", "-key", files.key.string(), "-subj",
             kPublisherSubject, "-out", files.request.string()});
    WriteWhole(files.extensions,
               "[ext]\n"
               "basicConstraints=critical,CA:FALSE\n"
               "keyUsage=critical,digitalSignature\n"
               "extendedKeyUsage=codeSigning\n"
               "subjectKeyIdentifier=hash\n"
               "authorityKeyIdentifier=keyid\n",
               0600);
    RunTool({"openssl", "x509", "-req", "-in", files.request.string(), "-CA",
             files.rootPem.string(), "-CAkey", files.rootKey.string(), "-set_serial",
             SerialNumber(), "-days", kDays, "-extfile", files.extensions.string(), "-extensions",
             "ext", "-out", files.certificate.string()});

    // The pin is the hash of the key as the certificate carries it (DER SubjectPublicKeyInfo).
    RunTool({"openssl", "x509", "-in", files.certificate.string(), "-noout", "-pubkey", "-out",
             files.publicKey.string() + ".pem"});
    RunTool({"openssl", "pkey", "-pubin", "-in", files.publicKey.string() + ".pem", "-outform",
             "DER", "-out", files.publicKey.string()});
    WriteWhole(files.hash, Sha256Hex(files.publicKey) + "\n", 0644);
}

}  // namespace

SampleSigner LoadSampleSigner(const std::string& keyDir) {
    const KeyFiles files{.dir = fs::path(keyDir)};
    if (!fs::exists(files.hash))
        throw std::runtime_error(keyDir + " holds no sample publisher (no " + kHashFile + ")");
    std::string hash = ReadAll(files.hash);
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
    if (!IsKeyHash(hash)) throw std::runtime_error(files.hash.string() + " holds no key hash");
    for (const fs::path& needed : {files.certificate, files.key, files.rootDer})
        if (!fs::is_regular_file(needed))
            throw std::runtime_error(keyDir + " lacks " + needed.filename().string());
    return {.certificate = files.certificate.string(),
            .key = files.key.string(),
            .rootDer = files.rootDer.string(),
            .keySha256 = hash};
}

SampleSigner MakeSampleSigner(const std::string& keyDir) {
    const KeyFiles files{.dir = fs::path(keyDir)};
    if (fs::exists(files.hash)) return LoadSampleSigner(keyDir);
    PrepareKeyFolder(files.dir);
    MakeKeys(files);
    return LoadSampleSigner(keyDir);
}

bool IsPeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char dos[64] = {};
    if (!in.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const std::uint32_t at =
        dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | static_cast<std::uint32_t>(dos[0x3F]) << 24;
    char signature[4] = {};
    in.seekg(at);
    return in.read(signature, sizeof signature) && signature[0] == 'P' && signature[1] == 'E' &&
           signature[2] == 0 && signature[3] == 0;
}

std::size_t SignSampleSite(const std::string& siteDir, const SampleSigner& signer) {
    if (!fs::is_directory(siteDir)) throw std::runtime_error("no site at " + siteDir);
    std::vector<fs::path> programs;
    for (const auto& entry : fs::recursive_directory_iterator(siteDir))
        if (entry.is_regular_file() && IsPeFile(entry.path().string()))
            programs.push_back(entry.path());
    for (const fs::path& program : programs) {
        // Signed beside itself, then put in its place: a failed signing leaves the file as it was.
        const fs::path signedCopy = program.string() + ".signed.tmp";
        fs::remove(signedCopy);
        try {
            RunTool({"osslsigncode", "sign", "-certs", signer.certificate, "-key", signer.key, "-h",
                     "sha256", "-n", "Corvalite sample site", "-in", program.string(), "-out",
                     signedCopy.string()});
        } catch (...) {
            fs::remove(signedCopy);
            throw;
        }
        fs::rename(signedCopy, program);
    }
    return programs.size();
}

std::string WriteTrustedPublishers(const std::string& xdgDir, const SampleSigner& signer) {
    const fs::path base(xdgDir);
    const fs::path folder = base / "corvalite-update";
    const auto shared = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec;
    if (!fs::exists(base)) {
        fs::create_directories(base);
        fs::permissions(base, shared, fs::perm_options::replace);
    }
    fs::create_directories(folder);
    fs::permissions(folder, shared, fs::perm_options::replace);
    const fs::path list = folder / "trusted-publishers";
    WriteWhole(
        list,
        "# The sample vendor site's signing key, made for this sandbox by corvalite-demo.\n" +
            signer.keySha256 + "\n",
        0644);
    return list.string();
}

}  // namespace demo
