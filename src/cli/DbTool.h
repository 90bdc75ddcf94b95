#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// lanvey-db, the database file's tool for scripts:
//
//   lanvey-db [--db FILE] list [--format table|csv|json]
//   lanvey-db [--db FILE] export FILE [--format csv|json|ethers|hosts]
//   lanvey-db [--db FILE] import FILE [--replace|--keep]
//   lanvey-db [--db FILE] add IP MAC [--name N] [--workgroup W] [--user U]
//                                    [--location L] [--comment C] [--color #RRGGBB]
//   lanvey-db [--db FILE] delete IP...
//   lanvey-db [--db FILE] history [IP|MAC] [--format table|csv|json]
//   lanvey-db [--db FILE] events [--since TIME] [--format table|csv|json]
//   lanvey-db --help                     the usage and what each command does
//
// Without --db it works on the database of the windowed program. It never writes a file
// that a Lanvey window (or another lanvey-db) holds open.
enum DbToolStatus {
    kDbDone = 0,
    kDbFailed = 1, // an import row was an error, an address to delete was not there, a
                   // file could not be read or written
    kDbUsage = 2,  // bad input: a command, an option, an address or a colour
    kDbInUse = 3,  // a window holds the database
};

// Runs one command line (`args` without the program name); the records go to `out`,
// messages and the import report to `err`.
int RunDbTool(const QStringList& args, QTextStream& out, QTextStream& err);
