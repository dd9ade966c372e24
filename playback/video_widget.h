#pragma once

#include <QWidget>

class VideoSurface;

// Which video window the viewer makes: OpenGL unless ROADLOG_VIDEO=software or no OpenGL
// context can be had.
enum class VideoBackend
{
    OpenGL,
    Software,
};

VideoBackend ChooseVideoBackend();

// Makes a video window of the chosen kind; *surface is what the engine is given for it.
QWidget *CreateVideoWidget(QWidget *parent, VideoSurface **surface);

// What a video window made by CreateVideoWidget counted on the window thread: pictures painted
// (each once) and pictures given up unpainted; 0 for any other widget.
int PaintedPictures(const QWidget *videoWidget);
int GivenUpPictures(const QWidget *videoWidget);
