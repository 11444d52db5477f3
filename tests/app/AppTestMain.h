#pragma once

// The main of the application's tests: the program's own application
// object, with the user's settings folder a fresh empty one of the run's own
// (XDG_CONFIG_HOME), so that a test can see that nothing is stored there.

#include "app/KestrunApp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#define KESTRUN_APP_TEST_MAIN(TestClass)                                       \
    int main(int argc, char** argv)                                            \
    {                                                                          \
        QTemporaryDir configHome;                                              \
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));      \
        TApplication application(argc, argv);                                  \
        TestClass test;                                                        \
        return QTest::qExec(&test, argc, argv);                                \
    }
