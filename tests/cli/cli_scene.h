#pragma once

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/convert_app.h"
#include "tests/support/golden_files.h"

namespace plimbrook::testing {

// A folder of a few saves and BBD files, made current while a test runs, and the command line
// run on it in this process.
class CliScene {
public:
    CliScene() {
        previous_ = QDir::currentPath();
        dir_ = std::make_unique<QTemporaryDir>();
        QDir(dir_->path()).mkpath("prog");
        QDir(dir_->path()).mkpath("out");
        writeFile(path("prog/Stuff.dat"), pattern(kHeader, 11).replace(8, 3, "\xAA\xBB\x05"));
        writeFile(path("GAME.srm"), pattern(8 * 1024, 1));
        writeFile(path("BIG.srm"), pattern(32 * 1024, 2));
        writeFile(path("HUGE.srm"), pattern(40'000, 9));
        writeFile(path("KEEP.bbd"),
                  bbdBytes(pattern(kHeader, 11), commentField("Kept comment"), pattern(8192, 5)));
        QDir::setCurrent(dir_->path());
    }
    ~CliScene() { QDir::setCurrent(previous_); }
    CliScene(const CliScene&) = delete;
    CliScene& operator=(const CliScene&) = delete;

    bool valid() const { return dir_->isValid(); }
    QString path(const QString& name) const { return dir_->filePath(name); }

    cli::ConvertEnvironment environment() const { return {path("prog/Stuff.dat").toStdString()}; }

    // Runs the command line; its standard output and error.
    int run(const QStringList& args, std::string& out, std::string& err,
            cli::ConvertEnvironment environment) const {
        std::vector<std::string> words;
        for (const QString& arg : args) {
            words.push_back(arg.toStdString());
        }
        std::ostringstream outStream;
        std::ostringstream errStream;
        const int status = cli::runConvert(words, outStream, errStream, environment);
        out = outStream.str();
        err = errStream.str();
        return status;
    }
    int run(const QStringList& args, std::string& out, std::string& err) const {
        return run(args, out, err, environment());
    }

private:
    QString previous_;
    std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace plimbrook::testing
