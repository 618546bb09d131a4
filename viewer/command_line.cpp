#include "viewer/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "velmor/version.h"

namespace {

const QCommandLineOption help_option({QStringLiteral("h"), QStringLiteral("help")},
                                     QStringLiteral("Print this help and exit."));
const QCommandLineOption version_option({QStringLiteral("v"), QStringLiteral("version")},
                                        QStringLiteral("Print the version and exit."));

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Velmor: the header, element table and image of a DICOM file."));
    parser.addOption(help_option);
    parser.addOption(version_option);
    parser.addPositionalArgument(
        QStringLiteral("path"),
        QStringLiteral("A DICOM file to open; a folder, a DICOMDIR or several files open as a set of series."),
        QStringLiteral("[PATH...]"));
}

} // namespace

LaunchOptions read_command_line(const QStringList& arguments)
{
    QCommandLineParser parser;
    describe(parser);
    LaunchOptions options;
    if (!parser.parse(arguments)) {
        options.action = LaunchAction::refuse;
        options.error = parser.errorText();
    } else if (parser.isSet(help_option)) {
        options.action = LaunchAction::print_help;
    } else if (parser.isSet(version_option)) {
        options.action = LaunchAction::print_version;
    } else {
        const QStringList given = parser.positionalArguments();
        if (given.size() == 1 && !QFileInfo(given.first()).isDir()) {
            options.file = QFileInfo(given.first()).absoluteFilePath();
        } else {
            for (const QString& path : given) {
                options.paths.append(QFileInfo(path).absoluteFilePath());
            }
        }
    }
    return options;
}

QString command_line_help()
{
    QCommandLineParser parser;
    describe(parser);
    return parser.helpText();
}

QString version_line() { return QStringLiteral("velmor " VELMOR_VERSION); }
