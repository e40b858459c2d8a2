#include "TestImages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<QRgb> Load(const fs::path &path)
{
    const QImage image
        = QImage(QString::fromStdString(path.string())).convertToFormat(QImage::Format_RGB32);
    std::vector<QRgb> pixels{static_cast<QRgb>(image.width())};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            pixels.push_back(image.pixel(x, y) & 0xFFFFFF); // the alpha may be left in
    }
    return pixels;
}

int Render(const fs::path &in, const fs::path &out)
{
    const std::string command = std::string("'") + TONECRAFT_BATCH_EXE + "' render '" + in.string()
        + "' '" + out.string() + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// Refused: top-down and short of rows. Not as the reference: 2-bit and compressed rows draw
// nothing, alpha and profiles are not applied, an 11-bit channel rounds differently.
TEST(RenderReference, SuiteFilesMatchTheirReferencesOrAreRefused)
{
    const fs::path dir = fs::temp_directory_path() / ("tonecraft-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::map<std::string, QStringList> refs;
    QFile manifest(QString::fromStdString((TestImages::BmpSuiteDir() / "MANIFEST.tsv").string()));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const auto refColumn = QString(manifest.readLine()).trimmed().split('\t').indexOf("ref");
    while (!manifest.atEnd()) {
        const QStringList fields = QString(manifest.readLine()).trimmed().split('\t');
        refs[fields[0].toStdString()] = fields.value(refColumn).split(',');
    }
    const std::set<std::string> refused
        = {"g/pal8topdown.bmp", "q/pal8os2v2-16.bmp", "q/rgb24rle24.bmp", "q/pal8os2sp.bmp"};
    const std::set<std::string> differ
        = {"q/pal1huffmsb.bmp", "q/pal2.bmp",        "q/pal2color.bmp",    "q/rgb24jpeg.bmp",
           "q/rgb24png.bmp",    "q/rgb24prof2.bmp",  "q/rgb32-111110.bmp", "q/rgba16-1924.bmp",
           "q/rgba16-4444.bmp", "q/rgba16-5551.bmp", "q/rgba32-1.bmp",     "q/rgba32-1010102.bmp",
           "q/rgba32-2.bmp",    "q/rgba32abf.bmp",   "q/rgba32h56.bmp",    "q/rgba64.bmp"};
    for (const std::string &name : TestImages::BmpSuiteFiles()) {
        const fs::path out = dir / (fs::path(name).stem().string() + ".png");
        const int code = Render(TestImages::BmpSuiteDir() / name, out);
        if (name.starts_with("b/") || name.starts_with("x/")) {
            EXPECT_TRUE(code == 0 || code == 1) << name << " exit " << code;
            continue;
        }
        EXPECT_EQ(code, refused.contains(name) ? 1 : 0) << name;
        bool matches = false;
        for (const QString &ref : refs[name])
            matches = matches
                || (code == 0 && Load(out) == Load(TestImages::BmpSuiteDir() / ref.toStdString()));
        EXPECT_EQ(matches, code == 0 && !differ.contains(name)) << name;
    }
    fs::remove_all(dir);
}
