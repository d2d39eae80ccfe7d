#pragma once
// What the commands of vrma-calib share: their exit codes, the options (each taking one
// value, "--name value" or "--name=value"), the decimal separator option, how a mistake of
// the command line is told, the check that no output is an input or another output, and
// how running out of memory is told.
#include "data/FileNames.h"
#include "data/OutputFiles.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>

namespace vrma {

// Exit codes, as --help lists them.
enum ExitCode {
    kDone = 0,
    kCommandLine = 1,
    kRead = 2,
    kCount = 3,
    kCalculation = 4,
    kWrite = 5,
    kGridNotFound = 6,
    kFieldCheck = 7,
    kOutOfMemory = 8,
    kCameraDrifted = 9, // --check: the saved camera does not explain the photographs
    // Ended by SIGINT or SIGTERM: 128 + the signal's number (data/CleanExit).
    kInterrupted = 130,
    kTerminated = 143,
};

// The program's arguments, names as bytes (data/FileNames): argv as the application object
// left it.
QStringList ProgramArguments(int argc, char** argv);

// A line on standard output or standard error, UTF-8; a file name's bytes that are no
// UTF-8 are printed as they were given. A control character in it (a line break or a tab in
// a file name) is printed as \n, \r, \t or \xHH: one line stays one line.
void Print(std::FILE* stream, const QString& line);
// The message on standard error; returns the code.
int Fail(int code, const QString& message);
// The message and the pointer to the help on standard error; returns kCommandLine.
int CommandLineError(const QString& message);

// Before anything is written: the message for the first output that is one file with an
// input or an earlier output (data/FileNames: compared as files, through links).
std::optional<QString> FileClashMessage(std::span<const NamedFile> inputs,
                                        std::span<const NamedFile> outputs);

// Out of memory: std::bad_alloc, OpenCV's failure to allocate, or a thread that cannot be
// started.
bool IsOutOfMemory(const std::exception& error);
// Its message on standard error; returns kOutOfMemory.
int OutOfMemory();
// Out of memory where an exception cannot pass (a library's destructor, a noexcept
// function) ends the program with its message and kOutOfMemory instead of an abort. No
// file is being written then: every file of a command is made in memory first.
void EndWithCodeOnOutOfMemory();

// The files of a command, written at the end as one set (data/OutputFiles): kDone, or
// kWrite with the failure on standard error and none of them replaced. Running out of
// memory is thrown on.
int WriteOutputs(std::span<const OutputFile> files);

// Makes a report's PDF through `paint` into `bytes`: kDone, or kWrite with the failure on
// standard error ("Не удаётся записать отчёт …"). It is painted only when the memory a
// document of that many items may take is free (drawing/PdfMemory); running out of memory
// is thrown on.
int MakeReport(const QString& path, const std::function<QByteArray()>& paint, std::int64_t items,
               QByteArray& bytes);

// The report's line of the OpenCV YAML written (beside the export's lines of
// data/Messages.h).
QString WrittenYamlLine(const QString& fileName);

// True when an argument before "--" names the option: -name or --name, and --name=value
// for an option that takes a value (for what must be known before the application object
// is made).

bool NamesOption(int argc, char** argv, const char* name, bool takesValue = true);

class CommandLine {
public:
    // The options that take a value; with `help`, also -h and --help.
    CommandLine(std::span<const char* const> valueOptions, bool help);

    // Reads the arguments (the program's name first); a message for the user when they are
    // wrong: an unknown option, one without its value or given twice, a word that is no
    // option.
    std::optional<QString> Parse(const QStringList& arguments);
    // The first option of `required` that is not given, as a message.
    std::optional<QString> Missing(std::initializer_list<const char*> required) const;
    // The decimal separator: the system's, or the one --decimal-separator gives; a message
    // when that is neither "," nor ".".
    std::optional<QString> TakeDecimalSeparator() const;

    // -h or --help was given.
    bool help() const;
    bool has(const char* name) const;
    QString value(const char* name, const QString& fallback = QString()) const;
    // The value, or none when the option is not given.
    std::optional<QString> given(const char* name) const;

private:
    QCommandLineParser parser_;
    std::span<const char* const> names_;
    bool help_ = false; // -h and --help are options
};

} // namespace vrma
