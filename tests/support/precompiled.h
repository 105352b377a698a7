#pragma once

// Read once for all the test programs that link the same Qt modules (the build makes one of
// these for each such group) and put before everything else in each: Qt Test's headers and the
// ones nearly every test includes cost more to read than most tests' own code.

#include "support/readable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#ifdef QT_WIDGETS_LIB
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#endif

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <vector>
