#include "tools/CommandLine.h"

#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "drawing/PdfMemory.h"

#include <cstring>
#include <exception>
#include <new>
#include <opencv2/core.hpp>
#include <string>
#include <system_error>

#include <unistd.h>

namespace vrma {

namespace {

// The argument of the command line that names the option (for messages that quote it).
QString ArgumentNaming(const QStringList& arguments, const QString& name) {
    for (qsizetype k = 1; k < arguments.size(); ++k) {
        QString argument = arguments[k];
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        QString bare = equals > 0 ? argument.left(equals) : argument;
        while (bare.startsWith(QLatin1Char('-')))
            bare.remove(0, 1);
        if (bare == name)
            return argument;
    }
    return QStringLiteral("--") + name;
}

} // namespace

QString WrittenYamlLine(const QString& fileName) {
    return QStringLiteral("Камера в YAML OpenCV: %1").arg(fileName);
}

bool NamesOption(int argc, char** argv, const char* name, bool takesValue) {
    const size_t length = std::strlen(name);
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--") == 0)
            break;
        const char* bare = argv[k];
        while (*bare == '-')
            ++bare;
        if (bare != argv[k] && std::strncmp(bare, name, length) == 0 &&
            (bare[length] == '\0' || (takesValue && bare[length] == '=')))
            return true;
    }
    return false;
}

QStringList ProgramArguments(int argc, char** argv) {
    return DecodeArguments(argc, argv);
}

void Print(std::FILE* stream, const QString& line) {
    QByteArray bytes = EncodeFileName(line);
    for (qsizetype k = 0; k < bytes.size(); ++k) {
        const auto c = static_cast<unsigned char>(bytes[k]);
        if (c >= 0x20 && c != 0x7F)
            continue;
        const QByteArray shown = c == '\n'   ? QByteArrayLiteral("\\n")
                                 : c == '\r' ? QByteArrayLiteral("\\r")
                                 : c == '\t'
                                     ? QByteArrayLiteral("\\t")
                                     : "\\x" + QByteArray::number(c, 16).rightJustified(2, '0');
        bytes.replace(k, 1, shown);
        k += shown.size() - 1;
    }
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

int Fail(int code, const QString& message) {
    Print(stderr, message);
    return code;
}

int CommandLineError(const QString& message) {
    Print(stderr, message);
    Print(stderr, QStringLiteral("Справка: vrma-calib --help"));
    return kCommandLine;
}

std::optional<QString> FileClashMessage(std::span<const NamedFile> inputs,
                                        std::span<const NamedFile> outputs) {
    const std::optional<FileClash> clash = FindFileClash(inputs, outputs);
    if (!clash)
        return std::nullopt;
    return QStringLiteral("%1 «%2» — тот же файл, что %3 «%4»: результат не записывается поверх "
                          "исходного файла или другого результата. Ничего не записано.")
        .arg(clash->output.role, clash->output.name, clash->other.role, clash->other.name);
}

bool IsOutOfMemory(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return true;
    if (const auto* opencv = dynamic_cast<const cv::Exception*>(&error))
        return opencv->code == cv::Error::StsNoMem;
    // A thread that cannot be started (no memory for its stack): the standard library's
    // error, or OpenCV's thread pool's own words for it.
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return system->code() == std::errc::resource_unavailable_try_again ||
               system->code() == std::errc::not_enough_memory;
    return std::strncmp(error.what(), "pthread_create has failed", 25) == 0;
}

int OutOfMemory() {
    return Fail(kOutOfMemory, messages::OutOfMemory());
}

namespace {

// The message of OutOfMemory, made before it is needed: the handler may not allocate.
std::string& OutOfMemoryLine() {
    static std::string line;
    return line;
}

[[noreturn]] void OnTerminate() {
    bool memory = false;
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            memory = IsOutOfMemory(error);
        } catch (...) {
        }
    }
    if (memory) {
        const std::string& line = OutOfMemoryLine();
        std::fflush(stdout);
        if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
            // Nothing more can be told.
        }
        ::_exit(kOutOfMemory);
    }
    std::abort();
}

} // namespace

void EndWithCodeOnOutOfMemory() {
    OutOfMemoryLine() = messages::OutOfMemory().toStdString() + '\n';
    std::set_terminate(OnTerminate);
}

int WriteOutputs(std::span<const OutputFile> files) {
    if (files.empty())
        return kDone;
    try {
        WriteFileSet(files);
    } catch (const FileError& error) {
        return Fail(kWrite, QString::fromUtf8(error.what()));
    }
    return kDone;
}

int MakeReport(const QString& path, const std::function<QByteArray()>& paint, std::int64_t items,
               QByteArray& bytes) {
    try {
        bytes = PaintPdf(paint, items);
    } catch (const std::exception& error) {
        if (IsOutOfMemory(error))
            throw;
        return Fail(kWrite, QStringLiteral("Не удаётся записать отчёт %1: %2")
                                .arg(path, QString::fromUtf8(error.what())));
    }
    return kDone;
}

CommandLine::CommandLine(std::span<const char* const> valueOptions, bool help)
    : names_(valueOptions), help_(help) {
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : names_)
        parser_.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    if (help)
        parser_.addOption(
            QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
}

std::optional<QString> CommandLine::Parse(const QStringList& arguments) {
    if (!parser_.parse(arguments)) {
        const QStringList unknown = parser_.unknownOptionNames();
        if (!unknown.isEmpty())
            return QStringLiteral("Неизвестный параметр: %1")
                .arg(ArgumentNaming(arguments, unknown.first()));
        // The parser takes the next argument as an option's value, so only the last
        // argument can lack one.
        return QStringLiteral("Не задано значение параметра %1").arg(arguments.last());
    }
    if (!parser_.positionalArguments().isEmpty())
        return QStringLiteral("Неизвестный параметр: %1")
            .arg(parser_.positionalArguments().first());
    for (const char* name : names_)
        if (parser_.values(QString::fromLatin1(name)).size() > 1)
            return QStringLiteral("Параметр --%1 задан дважды").arg(QLatin1String(name));
    return std::nullopt;
}

std::optional<QString> CommandLine::Missing(std::initializer_list<const char*> required) const {
    for (const char* name : required)
        if (!has(name))
            return QStringLiteral("Не задан обязательный параметр --%1").arg(QLatin1String(name));
    return std::nullopt;
}

std::optional<QString> CommandLine::TakeDecimalSeparator() const {
    InitDecimalSeparatorFromSystem();
    if (!has("decimal-separator"))
        return std::nullopt;
    const QString separator = value("decimal-separator");
    if (separator != QStringLiteral(",") && separator != QStringLiteral("."))
        return QStringLiteral("Разделитель дробной части должен быть «,» или «.»: %1")
            .arg(separator);
    SetDecimalSeparator(separator.at(0));
    return std::nullopt;
}

bool CommandLine::help() const {
    return help_ && parser_.isSet(QStringLiteral("help"));
}

bool CommandLine::has(const char* name) const {
    return parser_.isSet(QString::fromLatin1(name));
}

QString CommandLine::value(const char* name, const QString& fallback) const {
    return has(name) ? parser_.value(QString::fromLatin1(name)) : fallback;
}

std::optional<QString> CommandLine::given(const char* name) const {
    if (!has(name))
        return std::nullopt;
    return parser_.value(QString::fromLatin1(name));
}

} // namespace vrma
