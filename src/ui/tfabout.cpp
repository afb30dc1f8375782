#include "ui/tfabout.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include <gemmi/version.hpp>

namespace vornax {

Tfabout::Tfabout(QWidget* parent) : QWidget(parent, Qt::Dialog) {
  setObjectName("Tfabout");
  setWindowTitle("About VORNAX");
  setWindowModality(Qt::ApplicationModal);

  const QString text =
      QString(
          "<h3>VORNAX</h3>"
          "<p>Refinement of unit-cell parameters from X-ray powder diffraction "
          "angles.</p>"
          "<p>Version 3 (17/10/03)</p>"
          "<p>Licence: free software under the GNU General Public License, "
          "version 3 or later. It comes with no warranty.</p>"
          "<p>Libraries used:<br>"
          "&nbsp;&nbsp;Qt %1 (windows, printing), LGPL 3<br>"
          "&nbsp;&nbsp;gemmi %2 (space-group operators), MPL 2.0</p>")
          .arg(QString::fromLatin1(qVersion()), QStringLiteral(GEMMI_VERSION));
  label_ = new QLabel(text, this);
  label_->setObjectName("label_about");
  label_->setTextFormat(Qt::RichText);
  label_->setWordWrap(true);

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setObjectName("button_about_ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addLayout(buttons);
  setFixedWidth(380);
}

QString Tfabout::text() const { return label_->text(); }

}  // namespace vornax
