#pragma once

#include <QByteArray>

// Scan layouts of the grey test pictures MakeJpeg writes.
enum class TJpegScans
{
    Baseline,       // one scan
    Progressive,    // the encoder's standard progression (6 scans)
    PerCoefficient, // one scan per DC/AC coefficient (64 scans)
    Flood,          // every coefficient refined bit by bit (704 scans)
};

// A grey pattern of the given size as a valid JPEG file, written by libjpeg.
QByteArray MakeJpeg(int width, int height, TJpegScans scans);
