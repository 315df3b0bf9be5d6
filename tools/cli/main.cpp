// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli: scripting and batch front-end over the same libraries as the window.

#include "CliCommand.h"
#include "CliSupport.h"

#include <QCoreApplication>
#include <QList>

namespace {
QList<CliCommandInfo>& registry()
{
    static QList<CliCommandInfo> commands;
    return commands;
}

void printUsage(QTextStream& stream)
{
    stream << "usage: sonalign-cli COMMAND [ARGS]\n\n"
              "Lines up tracks of another recorder with the takes of a field recorder, by timecode.\n\n"
              "Commands:\n";
    for (const CliCommandInfo& c : registry()) {
        stream << "  " << c.usage << '\n';
        if (!c.summary.isEmpty())
            stream << "      " << c.summary << '\n';
    }
    stream << "\nOptions:\n"
              "  --help      show this help; COMMAND --help shows the help of one command\n"
              "  --version   show the version\n"
              "\nExit status: 0 success, 1 failure (the reason on stderr as \"title: text\"), 2 usage error.\n";
    stream.flush();
}

void printCommandHelp(const CliCommandInfo& c)
{
    QTextStream& o = cliOut();
    o << "usage: sonalign-cli " << c.usage << '\n';
    if (!c.summary.isEmpty())
        o << '\n' << c.summary << '\n';
    o.flush();
}

// "--help" anywhere before a "--" asks for the command's help.
bool asksForHelp(const QStringList& args)
{
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            return false;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return true;
    }
    return false;
}
} // namespace

CliCommandRegistration::CliCommandRegistration(const char* name, const char* usage, CliRunFunction run)
    : CliCommandRegistration(name, usage, "", run)
{
}

CliCommandRegistration::CliCommandRegistration(const char* name, const char* usage, const char* summary,
                                               CliRunFunction run)
{
    registry().append(CliCommandInfo{QString::fromLatin1(name), QString::fromLatin1(usage), run,
                                     QString::fromUtf8(summary)});
}

const QList<CliCommandInfo>& CliCommands() { return registry(); }

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The window and the tool share one data folder (the action log).
    QCoreApplication::setApplicationName(QStringLiteral("sonalign"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 1 && args.first() == QLatin1String("--version")) {
        cliOut() << "sonalign-cli " << SONALIGN_VERSION << '\n';
        cliOut().flush();
        return kExitOk;
    }
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        printUsage(args.isEmpty() ? cliErr() : cliOut());
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    const QString name = args.takeFirst();
    for (const CliCommandInfo& c : registry()) {
        if (c.name == name)
            return asksForHelp(args) ? (printCommandHelp(c), int(kExitOk)) : c.run(args);
    }
    cliErr() << "sonalign-cli: unknown command \"" << name << "\"\n";
    printUsage(cliErr());
    return kExitUsage;
}
