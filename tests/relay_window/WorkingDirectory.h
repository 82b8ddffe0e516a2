#pragma once
// A fresh temporary folder as the current directory for one test, so that
// the window reads only the settings and history files the test writes.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace relvane::testing {

class TemporaryWorkingDirectory {
public:
    TemporaryWorkingDirectory() : Previous(QDir::currentPath()) { QDir::setCurrent(Folder.path()); }
    ~TemporaryWorkingDirectory() { QDir::setCurrent(Previous); }
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
    TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;

    bool IsValid() const { return Folder.isValid(); }
    QString Path() const { return Folder.path(); }

    // Writes content to a file of the folder; false if it could not.
    bool WriteFile(const QString& name, const QByteArray& content) const {
        QFile file(Folder.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

private:
    QString Previous;
    QTemporaryDir Folder;
};

}  // namespace relvane::testing
