// Screenshots for docs/screenshots: when KH_SCREENSHOTS names a directory,
// a test saves the windows it drives there as PNG files.
#pragma once

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

inline QString ScreenshotDir() { return qEnvironmentVariable("KH_SCREENSHOTS"); }

inline void SaveScreenshot(QWidget& widget, const QString& name) {
  const QString dir = ScreenshotDir();
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  widget.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

inline void SaveScreenshot(const QImage& image, const QString& name) {
  const QString dir = ScreenshotDir();
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}
