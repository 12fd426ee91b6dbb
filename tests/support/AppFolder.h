// What the Qt tests share: an application folder in a temporary tree, and a prompter that answers from a script.
#pragma once

#include "core/common/CopyRunner.h"
#include "core/common/Prompter.h"
#include "core/common/Routines.h"
#include "core/common/qtfs.h"
#include "core/shell/ProgramPaths.h"
#include "support/Bytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

inline const bool kPosix = pathSeparator() == '/';

// What a backup that failed reports.
inline const QString kFailed = "备份出错，请退出系统再进入一次进行备份";

// What a backup that ran through reports.
inline QString succeeded(const QString& target)
{
    return "备份成功\r\n备份文件名:" + target;
}

// "app" inside a fresh temporary folder, holding a data file of sample bytes; the program-wide paths point there.
struct AppFolder
{
    QTemporaryDir dir;
    ProgramPaths paths = ProgramPaths::forFolder(path("app"));
    QByteArray data = QByteArray::fromStdString(sampleBytes(70000, 1));

    AppFolder()
    {
        setProgramPaths(paths);
        write("app/data1.vzd", data);
    }

    QString path(const QString& relative) const { return QDir::toNativeSeparators(dir.path() + '/' + relative); }
    QString write(const QString& relative, const QByteArray& bytes) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        writeBytes(qtfs::toPath(file), bytes.toStdString());
        return file;
    }
    static QByteArray read(const QString& file) { return QByteArray::fromStdString(readBytes(qtfs::toPath(file))); }
    // Every name in the folder, hidden ones included: a test sees any temporary file left behind.
    static QStringList names(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
};

// Answers questions from a script and records them, and the busy state, in order ("ask: …", "busy", "idle").
struct ScriptedPrompter : Prompter
{
    QList<bool> answers;
    QStringList log;

    bool askYesNo(const QString& question) override
    {
        // A question nobody expected shows here, answered No.
        log << "ask: " + question;
        return !answers.isEmpty() && answers.takeFirst();
    }
    void setBusy(bool busy) override { log << (busy ? "busy" : "idle"); }
};

// Runs copies inline; with stop set, the operator stops each before its first byte.
struct ScriptedRunner : CopyRunner
{
    bool stop = false;

    fsys::Error run(fsys::CopyJob job) override
    {
        fsys::CopyControl control;
        if (stop)
            control.requestStop();
        return fsys::copyReplace(job, &control);
    }
};
