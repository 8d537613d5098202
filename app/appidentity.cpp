// SPDX-License-Identifier: MIT
// The application's identity and the status bar label that shows it.
#include "qvmaskcalcwindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStatusBar>

void QvMaskCalcWindow::SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("K732-118"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MASKCALC_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Talvik Pty Ltd"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("talvik.com.au"));
}

void QvMaskCalcWindow::AddStatusLabel()
{
    // The label shows what the application object holds; one multi-argument substitution so that
    // a "%1" inside a value is never substituted again.
    const QString text = QStringLiteral("%1-%2 <a href=\"http://www.%3\">%4</a>")
                                 .arg(QCoreApplication::applicationName(),
                                      QCoreApplication::applicationVersion(),
                                      QCoreApplication::organizationDomain(),
                                      QCoreApplication::organizationName());
    auto *label = new QLabel(text);
    label->setOpenExternalLinks(true);
    // The status bar takes ownership.
    statusBar()->addWidget(label, 0);
}
