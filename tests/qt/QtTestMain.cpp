#include "GuardedApplication.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

// Headless, with settings and runtime folder in a fresh 0700 folder, away from the user's.
int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    CGuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return home.isValid() ? RUN_ALL_TESTS() : 1;
}
