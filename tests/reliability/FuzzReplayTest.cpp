// The fuzz targets' properties on the seed corpus and on every input that once broke
// them (tests/data/fuzz/<target>/), as ordinary tests.
#include "fuzz/Properties.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using Property = void (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* name;
    Property property;
};

const Target kTargets[] = {
    {"fuzz_lines", vrma::fuzz::CheckLines},       {"fuzz_numbers", vrma::fuzz::CheckNumbers},
    {"fuzz_formats", vrma::fuzz::CheckFormats},   {"fuzz_point_file", vrma::fuzz::CheckPointFile},
    {"fuzz_geometry", vrma::fuzz::CheckGeometry},
};

struct PropertyViolation : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowViolation(const std::string& what) {
    throw PropertyViolation(what);
}

class FuzzReplay : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override { vrma::fuzz::CurrentFailureHandler() = ThrowViolation; }
    void TearDown() override { vrma::fuzz::CurrentFailureHandler() = nullptr; }

    // Runs the property on every file of the folder; returns how many there were.
    static int Replay(const QString& folder, Property property) {
        int files = 0;
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
            const QByteArray bytes = file.readAll();
            try {
                property(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()));
            } catch (const PropertyViolation& violation) {
                ADD_FAILURE() << dir.filePath(name).toStdString() << ": " << violation.what();
            }
            ++files;
        }
        return files;
    }
};

TEST_P(FuzzReplay, SeedCorpus) {
    const QString folder =
        QStringLiteral(VRMA_SOURCE_DIR "/tests/fuzz/corpus/") + QLatin1String(GetParam().name);
    EXPECT_GT(Replay(folder, GetParam().property), 0) << "no seeds in " << folder.toStdString();
}

TEST_P(FuzzReplay, Findings) {
    Replay(QStringLiteral(VRMA_TEST_DATA_DIR "/fuzz/") + QLatin1String(GetParam().name),
           GetParam().property);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.name);
                         });

// The check itself reports: a violated property reaches the handler.
TEST(FuzzReplayHandler, AViolationIsReported) {
    vrma::fuzz::CurrentFailureHandler() = ThrowViolation;
    EXPECT_THROW(VRMA_FUZZ_CHECK(1 + 1 == 3, QStringLiteral("detail")), PropertyViolation);
    vrma::fuzz::CurrentFailureHandler() = nullptr;
}

} // namespace
