#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Nothing of the user's own profile is read or written.
    std::string tmpl = (std::filesystem::temp_directory_path() / "kivo-gui-home-XXXXXX").string();
    const char *home = ::mkdtemp(tmpl.data());
    if (home)
        ::setenv("XDG_CONFIG_HOME", home, 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kivo");
    QApplication::setQuitOnLastWindowClosed(false);
    int rc = RUN_ALL_TESTS();
    std::error_code ec;
    if (home)
        std::filesystem::remove_all(home, ec);
    return rc;
}
