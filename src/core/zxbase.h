#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// Small stateless routines shared by the whole system.

// Removes every character with a code from 0 to 32 at both ends.
QString ZxTrim(const QString &text);

QStringList SplitText(const QString &text, const QString &delimiter);
QString LastPart(const QString &text, const QString &delimiter);
QString ReplaceAll(const QString &text, const QString &oldText, const QString &newText);
QString ReplaceChar(const QString &text, QChar oldChar, QChar newChar);
// A decimal text read as a fixed-point number with four decimal places; "." and ","
// both separate the fraction. Throws EConvertError.
double TextToCurr(const QString &text);
// 0 for a blank text; otherwise a decimal integer ("$" for hexadecimal), leading spaces
// accepted, trailing ones not. Throws EConvertError.
qint64 TextToInt64(const QString &text);
QString VarToText(const QVariant &value);

QString TextMD5(const QString &text);
// Throws EInOutError when the file cannot be read.
QString FileMD5(const QString &path);
QString NewGuidText();
QString NewID();

QString AppDir();
QString IniFileName();
qint64 FileSizeOf(const QString &path);
double BytesToMB(qint64 bytes);
QString FileNameNoExt(const QString &path);
QString FileExtNoDot(const QString &path);

// Where-clause builder: each appends at most one term, joined by "and".
void AddWhere(const QString &column, const QString &value, QString &clause, const QString &op);
void AddWhereLike(const QString &column, const QString &value, QString &clause);
void AddWhereValue(const QVariant &column, const QVariant &value, QString &clause,
                   const QString &op);
// Throws EConvertError when the value is not a date.
void AddWhereDate(const QVariant &column, const QVariant &date, QString &clause,
                  const QString &op);
void AddWhereRange(const QString &column, const QString &from, const QString &to, QString &clause);
void AddWhereValueRange(const QString &column, const QVariant &from, const QVariant &to,
                        QString &clause);
void AddWhereDateRange(const QVariant &column, const QVariant &from, const QVariant &to,
                       QString &clause);

// Starts the command interpreter with the command and does not wait for it.
void RunCmd(const QString &command, bool hidden);
