// The download digest through the system's CNG: the standard vectors, and a large file fed
// in uneven pieces agreeing with Qt's own hash of it.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>

#include "download/Digest.h"

namespace {

using download::ExpectedDigest;
using download::RunningDigest;

bool Matches(QCryptographicHash::Algorithm algorithm, const QByteArray& data,
             const QByteArray& hex) {
    RunningDigest digest(ExpectedDigest{algorithm, QByteArray::fromHex(hex)});
    digest.add(data.constData(), data.size());
    return digest.matches();
}

TEST(Digest, SystemHashMatchesTheStandardAndQt) {
    EXPECT_TRUE(Matches(QCryptographicHash::Sha256, "abc",
                        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_FALSE(Matches(QCryptographicHash::Sha256, "abd",
                         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_TRUE(Matches(QCryptographicHash::Sha512, "abc",
                        "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                        "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"));
    EXPECT_TRUE(Matches(QCryptographicHash::Sha256, "",
                        "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));

    QByteArray file(5 * 1024 * 1024 + 7, '\0');
    for (qsizetype i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 131 % 251);
    for (const auto algorithm : {QCryptographicHash::Sha256, QCryptographicHash::Sha512}) {
        RunningDigest digest(ExpectedDigest{algorithm, QCryptographicHash::hash(file, algorithm)});
        digest.add(file.constData(), 1000);
        QBuffer rest(&file);
        ASSERT_TRUE(rest.open(QIODevice::ReadOnly));
        ASSERT_TRUE(digest.catchUp(rest, file.size()));  // the rest read back in blocks
        EXPECT_EQ(digest.hashedBytes(), file.size());
        EXPECT_TRUE(digest.matches()) << algorithm;
    }
}

}  // namespace
