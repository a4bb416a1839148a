#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QSizeF>

class QPainter;
class QRandomGenerator;

// One piece of the celebration. Where it is, how far it has turned and how much it shows are a
// function of the time since the confetti came on screen: after its delay it falls to its target
// over three seconds on an ease-in-out curve, turning to its end angle and fading out.
struct ConfettiPiece {
    static constexpr int count = 100;
    static constexpr double fallSeconds = 3.0;
    static constexpr double cornerRadius = 3;

    struct Pose {
        double y;
        double rotation;
        double opacity;
    };

    int id = 0;
    double x = 0;
    double startY = 0;
    double targetY = 0;
    double size = 0;
    QColor color;
    double startRotation = 0;
    double endRotation = 0;
    double delay = 0;
    // The piece drawn once, upright, with room for its soft edge; frames only turn and place it.
    mutable QImage sprite;

    Pose at(double seconds) const;

    // The ease-in-out timing curve (control points 0.42, 0 and 0.58, 1) at a progress in [0, 1].
    static double easeInOut(double progress);

    // The hundred pieces for a view of the size: red, orange, yellow, green, blue, purple and
    // pink, from 50 to 100 points above the top edge to 50 below the bottom one, 8 to 16 points
    // wide, each starting within half a second and turning to between 720 and 1080 degrees.
    static QList<ConfettiPiece> create(const QSizeF& size, QRandomGenerator& random);

    // The upright picture of the piece at the device pixel ratio, made on first use.
    const QImage& spriteFor(qreal ratio) const;

    // The pieces as they stand `seconds` after they came on screen.
    static void paint(QPainter& painter, const QList<ConfettiPiece>& pieces, double seconds);
};
