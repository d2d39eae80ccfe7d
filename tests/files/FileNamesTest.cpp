// File names as bytes (names in Windows-1251 on a UTF-8 system are opened, read and written
// under the bytes given) and names compared as files (through symbolic and hard links, and
// by the folder's real path for files not there yet).
#include "data/FileNames.h"
#include "data/TextFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrma {
namespace {

// "сцена.crd" as Windows-1251 writes it: no UTF-8.
const QByteArray kCp1251Name("\xf1\xf6\xe5\xed\xe0.crd");

TEST(FileNames, BytesThatAreNoUtf8ComeBackAsTheyWere) {
    const QString name = DecodeFileName(kCp1251Name);
    EXPECT_EQ(name.size(), kCp1251Name.size());
    EXPECT_EQ(name[0].unicode(), 0xDCF1);
    EXPECT_EQ(EncodeFileName(name), kCp1251Name);
    // Valid UTF-8 is its text.
    const QString cyrillic = QString::fromUtf8("сцена.crd");
    EXPECT_EQ(DecodeFileName(cyrillic.toUtf8()), cyrillic);
    EXPECT_EQ(EncodeFileName(cyrillic), cyrillic.toUtf8());
    // What UTF-8 forbids is escaped byte by byte: an overlong form, an encoded surrogate,
    // a byte no sequence starts with, a sequence cut off; the valid parts around them stay.
    for (const QByteArray& bytes :
         {QByteArray("a\xc0\x80z"), QByteArray("\xed\xa0\x80"), QByteArray("\xf5\x80\x80\x80"),
          QByteArray("x\xe2\x82"), QByteArray("\xf0\x9f\x98\x80\xff")}) {
        const QString decoded = DecodeFileName(bytes);
        EXPECT_EQ(EncodeFileName(decoded), bytes) << bytes.toHex().constData();
        EXPECT_FALSE(decoded.contains(QChar::ReplacementCharacter));
    }
    EXPECT_EQ(DecodeFileName(QByteArray("\xf0\x9f\x98\x80")),
              QString::fromUtf8("\xf0\x9f\x98\x80"));
    // Written into a Windows-1251 file (a camera file naming its table), such a name is
    // its bytes again: the text names the file on the disk.
    EXPECT_EQ(EncodeTextLines({QStringLiteral("/data/") + name}), "/data/" + kCp1251Name + "\r\n");
    // Any bytes at all.
    std::mt19937 random(27);
    for (int k = 0; k < 2000; ++k) {
        QByteArray bytes(int(random() % 12), Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random() % 256);
        ASSERT_EQ(EncodeFileName(DecodeFileName(bytes)), bytes) << bytes.toHex().constData();
    }
}

TEST(FileNames, ArgumentsKeepTheirBytes) {
    char program[] = "vrma-calib";
    char option[] = "--scene";
    QByteArray raw = kCp1251Name;
    char* argv[] = {program, option, raw.data(), nullptr};
    const QStringList arguments = DecodeArguments(3, argv);
    ASSERT_EQ(arguments.size(), 3);
    EXPECT_EQ(arguments[1], QStringLiteral("--scene"));
    EXPECT_EQ(EncodeFileName(arguments[2]), kCp1251Name);
}

class FileNamesOnDisk : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    QString path(const QString& name) const { return QDir(temp.path()).filePath(name); }
    QByteArray raw(const QByteArray& name) const {
        return QFile::encodeName(temp.path()) + '/' + name;
    }
    // The folder's entries as the system names them (Qt lists no name that is not UTF-8,
    // and cannot remove it either: the test does).
    std::vector<QByteArray> entries() const {
        std::vector<QByteArray> names;
        DIR* dir = ::opendir(QFile::encodeName(temp.path()).constData());
        while (const dirent* entry = dir ? ::readdir(dir) : nullptr)
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        if (dir)
            ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }
    void TearDown() override {
        for (const QByteArray& name : entries())
            ::unlink(raw(name).constData());
    }
    QTemporaryDir temp;
};

// The file is written and read under the bytes given, not under replacement characters.
TEST_F(FileNamesOnDisk, AFileNamedInWindows1251IsWrittenAndReadUnderItsBytes) {
    const QString name = DecodeFileName(raw(kCp1251Name));
    WriteFileAtomically(name, "1 ; 2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(raw(kCp1251Name).constData(), &st), 0);
    EXPECT_EQ(st.st_size, 7);
    EXPECT_EQ(ReadFileBytes(name), QByteArray("1 ; 2\r\n"));
    EXPECT_TRUE(IsDataFile(name));
    // Nothing else was made in the folder.
    EXPECT_EQ(entries(), std::vector<QByteArray>{kCp1251Name});
    // The pair too.
    const QByteArray image("\xe8\xe7\xee\xe1\xf0.crd");
    WriteFilePair(name, "3 ; 4\r\n", DecodeFileName(raw(image)), "5 ; 6\r\n");
    EXPECT_EQ(ReadFileBytes(name), QByteArray("3 ; 4\r\n"));
    EXPECT_EQ(entries(), (std::vector<QByteArray>{image, kCp1251Name})); // sorted
}

TEST_F(FileNamesOnDisk, OneFileUnderTwoNamesIsFoundThroughLinks) {
    WriteFileAtomically(path(QStringLiteral("a.crd")), "1 ; 2\r\n");
    WriteFileAtomically(path(QStringLiteral("b.crd")), "1 ; 2\r\n");
    ASSERT_TRUE(QDir(temp.path()).mkdir(QStringLiteral("dir")));
    ASSERT_EQ(::symlink("a.crd", raw("link.crd").constData()), 0);
    ASSERT_EQ(::link(raw("a.crd").constData(), raw("hard.crd").constData()), 0);
    ASSERT_EQ(::symlink("dir", raw("dirlink").constData()), 0);
    ASSERT_EQ(::symlink("gone.crd", raw("dangling.crd").constData()), 0);

    const FileIdentity a = IdentifyFile(path(QStringLiteral("a.crd")));
    EXPECT_TRUE(a.exists);
    for (const char* same : {"link.crd", "hard.crd", "./a.crd", "dir/../a.crd"})
        EXPECT_EQ(IdentifyFile(path(QString::fromLatin1(same))), a) << same;
    EXPECT_FALSE(IdentifyFile(path(QStringLiteral("b.crd"))) == a); // equal bytes, two files
    // Relative to the current folder, as the command line gives it.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    EXPECT_EQ(IdentifyFile(QStringLiteral("a.crd")), a);
    EXPECT_EQ(IdentifyFile(QStringLiteral("out.json")),
              IdentifyFile(path(QStringLiteral("out.json"))));
    QDir::setCurrent(previous);

    // Not there yet: the same place through a link to its folder, or a cleaned path.
    const FileIdentity fresh = IdentifyFile(path(QStringLiteral("dir/new.json")));
    EXPECT_FALSE(fresh.exists);
    EXPECT_EQ(IdentifyFile(path(QStringLiteral("dirlink/new.json"))), fresh);
    EXPECT_EQ(IdentifyFile(path(QStringLiteral("dir/./new.json"))), fresh);
    EXPECT_FALSE(IdentifyFile(path(QStringLiteral("dir/other.json"))) == fresh);
    // A dangling link is followed to the file a write through it creates.
    EXPECT_EQ(IdentifyFile(path(QStringLiteral("dangling.crd"))),
              IdentifyFile(path(QStringLiteral("gone.crd"))));

    // The first output that is an input or an earlier output, with both names.
    const NamedFile inputs[] = {{QStringLiteral("--scene"), path(QStringLiteral("a.crd"))},
                                {QStringLiteral("--image"), path(QStringLiteral("b.crd"))}};
    const NamedFile apart[] = {{QStringLiteral("--json"), path(QStringLiteral("dir/new.json"))},
                               {QStringLiteral("--table"), path(QStringLiteral("t.tab"))},
                               {QStringLiteral("--camera"), QString()}};
    EXPECT_FALSE(FindFileClash(inputs, apart));
    const NamedFile overInput[] = {{QStringLiteral("--json"), path(QStringLiteral("x.json"))},
                                   {QStringLiteral("--table"), path(QStringLiteral("hard.crd"))}};
    const auto clash = FindFileClash(inputs, overInput);
    ASSERT_TRUE(clash);
    EXPECT_EQ(clash->output.role, QStringLiteral("--table"));
    EXPECT_EQ(clash->other.role, QStringLiteral("--scene"));
    const NamedFile twice[] = {
        {QStringLiteral("--report"), path(QStringLiteral("dir/new.json"))},
        {QStringLiteral("--json"), path(QStringLiteral("dirlink/new.json"))}};
    const auto both = FindFileClash(inputs, twice);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->output.role, QStringLiteral("--json"));
    EXPECT_EQ(both->other.role, QStringLiteral("--report"));
}

} // namespace
} // namespace vrma
