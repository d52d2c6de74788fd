#include "zxsel_design.h"

#include "zxdbgrid.h"
#include "zxroot.h"
#include "zxstyles.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

Tfmzxsel_designs::Tfmzxsel_designs(QWidget *parent) : Tzxforms(QStringLiteral("Tfmzxsel_designs"), parent)
{
    // This window's creation replaces the base step: no style or tray set-up.
    setWindowTitle(QStringLiteral("Выбор дизайна"));
    SetDesignedSize(642, 372);

    mdDesign = new QStringListModel(TZxStyles::StyleNames(), this);
    mdDesign->setObjectName(QStringLiteral("mdDesign"));
    gdeProg = new TZxDBGrid(this);
    gdeProg->setObjectName(QStringLiteral("gdeProg"));
    gdeProg->setModel(mdDesign);
    mdDesign->setHeaderData(0, Qt::Horizontal, QStringLiteral("Название дизайна"));
    gdeProg->horizontalHeader()->setStretchLastSection(true);
    gdeProg->setSelectionMode(QAbstractItemView::SingleSelection);

    const QStringList names = mdDesign->stringList();
    const QString active = TZxStyles::ActiveStyleName();
    for (int row = 0; row < names.size(); ++row) {
        if (names[row].compare(active, Qt::CaseInsensitive) == 0)
            gdeProg->setCurrentIndex(mdDesign->index(row));
    }

    auto *paButtons = new QWidget(this);
    paButtons->setObjectName(QStringLiteral("paButtons"));
    paButtons->setFixedHeight(35);
    btnOk = new QPushButton(QStringLiteral("Выбрать"), paButtons);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = new QPushButton(QStringLiteral("Отменить"), paButtons);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnRedraw = new QPushButton(QStringLiteral("Просмотреть"), paButtons);
    btnRedraw->setObjectName(QStringLiteral("btnRedraw"));
    btnRedraw->setFocusPolicy(Qt::ClickFocus);
    auto *buttons = new QHBoxLayout(paButtons);
    buttons->addWidget(btnRedraw);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    connect(btnRedraw, &QPushButton::clicked, this, &Tfmzxsel_designs::btnRedrawClick);
    connect(btnOk, &QPushButton::clicked, this, &Tfmzxsel_designs::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(gdeProg, &QAbstractItemView::doubleClicked, btnOk, &QPushButton::click);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gdeProg, 1);
    layout->addWidget(paButtons);
}

QString Tfmzxsel_designs::currentName() const
{
    return gdeProg->currentIndex().data().toString();
}

void Tfmzxsel_designs::btnRedrawClick()
{
    TZxStyles::ActivateOrReport(currentName());
    update();
}

void Tfmzxsel_designs::btnOkClick()
{
    btnRedrawClick();
    Tzxroot::Instance()->CurrentDesign = currentName();
    accept();
}
