#include "TestImages.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The alpha may be left in a rendering: RGB32 images compare equal whatever it holds.
QImage Load(const fs::path &path)
{
    return QImage(QString::fromStdString(path.string())).convertToFormat(QImage::Format_RGB32);
}

int Render(const fs::path &in, const fs::path &out)
{
    const std::string command = std::string("'") + TONECRAFT_BATCH_EXE + "' render '" + in.string()
        + "' '" + out.string() + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// Every good or questionable file draws as the rendering kept beside it (checked once against
// the suite's own references, see tests/data/bmpsuite/README.md) or is refused: top-down and
// short of rows. A bad file is drawn or refused, never anything else.
TEST(RenderReference, SuiteFilesMatchTheirRenderingsOrAreRefused)
{
    const fs::path dir = fs::temp_directory_path() / ("tonecraft-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::set<std::string> refused
        = {"g/pal8topdown.bmp", "q/pal8os2v2-16.bmp", "q/rgb24rle24.bmp", "q/pal8os2sp.bmp"};
    for (const std::string &name : TestImages::BmpSuiteFiles()) {
        SCOPED_TRACE(name);
        const fs::path out = dir / (fs::path(name).stem().string() + ".png");
        const int code = Render(TestImages::BmpSuiteDir() / name, out);
        if (name.starts_with("b/") || name.starts_with("x/")) {
            EXPECT_TRUE(code == 0 || code == 1) << code;
            continue;
        }
        EXPECT_EQ(code, refused.contains(name) ? 1 : 0);
        const fs::path rendering
            = TestImages::BmpSuiteDir() / "rendered" / fs::path(name).replace_extension(".png");
        EXPECT_EQ(fs::exists(rendering), code == 0);
        if (code == 0) {
            const QImage expected = Load(rendering);
            EXPECT_FALSE(expected.isNull());
            EXPECT_TRUE(Load(out) == expected);
        }
    }
    fs::remove_all(dir);
}
