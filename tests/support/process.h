// SPDX-License-Identifier: MIT
// Runs a program to its end, as the tests that check what a user sees of one
// need it: its exit status and what it printed; and the lines a command
// prints, from the functions that make them.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>
#include <vector>

namespace lpt::test {

inline QStringList lines(const std::vector<std::string>& text) {
    QStringList out;
    for (const std::string& line : text)
        out << QString::fromStdString(line);
    return out;
}

struct Run {
    int status = -1; // -1: it crashed or did not end in time
    QString out, err;
};

/// Runs program with args in the working directory dir (empty: this one),
/// with PARPORT set to parport unless that is null.
inline Run run(const QString& program, const QStringList& args, const QString& parport = {},
               const QString& dir = {}, int timeoutMs = 60000) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    if (!parport.isNull())
        env.insert("PARPORT", parport);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace lpt::test
