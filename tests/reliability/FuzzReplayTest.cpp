// The fuzz targets' properties on the seed corpus and on every input that once broke
// them (tests/data/fuzz/<target>/), as ordinary tests.
#include "fuzz/EditorProperties.h"
#include "fuzz/OutputProperties.h"
#include "fuzz/PhotoProperties.h"
#include "fuzz/ViewsProperties.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

using Property = void (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* name;
    Property property;
};

const Target kTargets[] = {
    {"fuzz_lines", vrma::fuzz::CheckLines},
    {"fuzz_numbers", vrma::fuzz::CheckNumbers},
    {"fuzz_formats", vrma::fuzz::CheckFormats},
    {"fuzz_point_file", vrma::fuzz::CheckPointFile},
    {"fuzz_geometry", vrma::fuzz::CheckGeometry},
    {"fuzz_editor", vrma::fuzz::CheckEditorDocument},
    {"fuzz_photo", vrma::fuzz::CheckPhotograph},
    {"fuzz_views", vrma::fuzz::CheckFieldViews},
    {"fuzz_photo_header", vrma::fuzz::CheckPhotoHeader},
    {"fuzz_output_names", vrma::fuzz::CheckOutputNames},
};

struct PropertyViolation : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowViolation(const std::string& what) {
    throw PropertyViolation(what);
}

class FuzzReplay : public ::testing::TestWithParam<Target> {
public:
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

class FuzzReplayHandler : public ::testing::Test {
protected:
    void SetUp() override { vrma::fuzz::CurrentFailureHandler() = ThrowViolation; }
    void TearDown() override { vrma::fuzz::CurrentFailureHandler() = nullptr; }
};

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.name);
                         });

// Every input that once broke a property, in a folder named after its target.
TEST_F(FuzzReplayHandler, Findings) {
    const QDir findings(QStringLiteral(VRMA_TEST_DATA_DIR "/fuzz"));
    int files = 0;
    for (const QString& folder : findings.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const auto target = std::find_if(std::begin(kTargets), std::end(kTargets),
                                         [&](const Target& t) { return folder == t.name; });
        if (target == std::end(kTargets)) {
            ADD_FAILURE() << "no fuzz target " << folder.toStdString();
            continue;
        }
        files += FuzzReplay::Replay(findings.filePath(folder), target->property);
    }
    EXPECT_GT(files, 0);
}

// The check itself reports: a violated property reaches the handler.
TEST_F(FuzzReplayHandler, AViolationIsReported) {
    EXPECT_THROW(VRMA_FUZZ_CHECK(1 + 1 == 3, QStringLiteral("detail")), PropertyViolation);
}

} // namespace
