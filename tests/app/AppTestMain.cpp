#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

// Runs the shell tests headless, with the settings store and the runtime folder in a fresh
// temporary folder, so that nothing reads or writes the user's own configuration.
int main(int argc, char **argv)
{
    QTemporaryDir home; // created 0700
    if (!home.isValid() || !QDir(home.path()).mkpath("config")
        || !QDir(home.path()).mkpath("runtime")) {
        std::fputs("cannot create a temporary folder\n", stderr);
        return 1;
    }
    QFile::setPermissions(home.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath("runtime")));

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
