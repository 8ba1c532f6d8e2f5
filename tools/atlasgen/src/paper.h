#pragma once
// Toned, slightly mottled paper with darker edges and a few foxing spots, as
// an old plate looks in a scan. Deterministic for a given seed.

#include <QImage>

namespace atlasgen {

QImage makePaper(QSize size, unsigned seed);

// Lays the print (white = no ink) onto the paper.
void printOnPaper(QImage& paper, const QImage& print);

} // namespace atlasgen
