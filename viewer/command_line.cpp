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
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The DICOM file to open."),
                                 QStringLiteral("[FILE]"));
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
    } else if (parser.positionalArguments().size() > 1) {
        options.action = LaunchAction::refuse;
        options.error = QStringLiteral("Only one file can be opened.");
    } else if (parser.positionalArguments().size() == 1) {
        options.file = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
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
