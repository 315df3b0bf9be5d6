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
    stream << "usage: sonalign-cli COMMAND [ARGS]\n\ncommands:\n";
    for (const CliCommandInfo& c : registry())
        stream << "  " << c.usage << '\n';
    stream.flush();
}
} // namespace

CliCommandRegistration::CliCommandRegistration(const char* name, const char* usage, CliRunFunction run)
{
    registry().append(CliCommandInfo{QString::fromLatin1(name), QString::fromLatin1(usage), run});
}

const QList<CliCommandInfo>& CliCommands() { return registry(); }

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sonalign-cli"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        printUsage(args.isEmpty() ? cliErr() : cliOut());
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    const QString name = args.takeFirst();
    for (const CliCommandInfo& c : registry()) {
        if (c.name == name)
            return c.run(args);
    }
    cliErr() << "sonalign-cli: unknown command \"" << name << "\"\n";
    printUsage(cliErr());
    return kExitUsage;
}
