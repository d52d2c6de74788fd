#include "zxeditor.h"

#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

Tfmzxeditor::Tfmzxeditor(QWidget *parent) : Tzxforms(QStringLiteral("Tfmzxeditor"), parent)
{
    FormCreate();
    setWindowTitle(QStringLiteral("Редактор"));

    edEditor = new QsciScintilla(this);
    edEditor->setObjectName(QStringLiteral("edEditor"));
    auto *lexer = new QsciLexerSQL(edEditor);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(10);
    lexer->setDefaultFont(mono);
    lexer->setFont(mono);
    edEditor->setLexer(lexer);
    edEditor->setMarginLineNumbers(0, true);
    edEditor->setMarginWidth(0, QStringLiteral("00000"));
    edEditor->setUtf8(true);

    auto *paButtons = new QWidget(this);
    paButtons->setObjectName(QStringLiteral("paButtons"));
    paButtons->setFixedHeight(36);
    btnOk = new QPushButton(QStringLiteral("Закрыть"), paButtons);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    auto *buttons = new QHBoxLayout(paButtons);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edEditor, 1);
    layout->addWidget(paButtons);
}

int Tfmzxeditor::ShowSQL(const QString &SQLInp)
{
    edEditor->setReadOnly(false);
    edEditor->setText(SQLInp);
    edEditor->setReadOnly(true);
    return exec();
}
