#include "playback/gl_video_widget.h"

#include <QMoveEvent>
#include <QShowEvent>

#include "platform/trace.h"

namespace {

const char *const kVertexShader = R"(
attribute vec2 aPos;
uniform vec4 uSource; // left, top, right, bottom in texture coordinates
varying vec2 vTex;
void main()
{
    vec2 f = aPos * 0.5 + 0.5;
    vTex = vec2(mix(uSource.x, uSource.z, f.x), mix(uSource.w, uSource.y, f.y));
    gl_Position = vec4(aPos, 0.0, 1.0);
}
)";

// The software converter's arithmetic on the GPU: 8-bit samples, factors in 1/64 steps, the
// sum floored before the clamp, so both windows show the same colours.
const char *const kFragmentShader = R"(
#ifdef GL_ES
precision highp float;
#endif
uniform sampler2D uY;
uniform sampler2D uU;
uniform sampler2D uV;
varying vec2 vTex;
float Sample(sampler2D plane) { return floor(texture2D(plane, vTex).r * 255.0 + 0.5); }
void main()
{
    float y = 64.0 * Sample(uY);
    float u = Sample(uU) - 128.0;
    float v = Sample(uV) - 128.0;
    vec3 rgb = floor(vec3(y + 101.0 * v, y - 12.0 * u - 30.0 * v, y + 119.0 * u) / 64.0);
    gl_FragColor = vec4(clamp(rgb, 0.0, 255.0) / 255.0, 1.0);
}
)";

} // namespace

CGlVideoWidget::CGlVideoWidget(QWidget *parent) : QOpenGLWidget(parent)
{
    connect(this, &CGlVideoWidget::PictureArrived, this, qOverload<>(&QWidget::update),
            Qt::QueuedConnection);
}

CGlVideoWidget::~CGlVideoWidget()
{
    if (!m_bReady)
        return;
    makeCurrent();
    glDeleteTextures(3, m_Textures);
    m_Quad.destroy();
    doneCurrent();
}

void CGlVideoWidget::GetSize(int32_t *width, int32_t *height) const
{
    m_Geometry.GetSize(width, height);
}

void CGlVideoWidget::GetScreenPosition(int32_t *x, int32_t *y) const
{
    m_Geometry.GetScreenPosition(x, y);
}

bool CGlVideoWidget::CreateFrame(uint32_t fourcc, int32_t width, int32_t height)
{
    if (fourcc != FOURCC_I420 || width <= 0 || height <= 0 || width > 8192 || height > 8192)
        return false;
    const int32_t pitch = (width + 15) & ~15;
    std::vector<std::shared_ptr<Frame>> frames(kVideoFrames);
    for (auto &f : frames) {
        f = std::make_shared<Frame>();
        f->nWidth = width;
        f->nHeight = height;
        f->nPitch = pitch;
        f->bytes.assign(SurfaceFrameBytes(FOURCC_I420, pitch, height), 0);
    }
    m_Frames.Reset(std::move(frames));
    return true;
}

void CGlVideoWidget::ReleaseFrame()
{
    m_pLocked.reset();
    m_Frames.Reset({});
    emit PictureArrived();
}

bool CGlVideoWidget::Lock(SurfaceLock *lock)
{
    m_pLocked = m_Frames.Back();
    if (!m_pLocked)
        return false;
    *lock = MakeSurfaceLock(FOURCC_I420, m_pLocked->bytes.data(), m_pLocked->nPitch,
                            m_pLocked->nHeight, m_pLocked->bytes.size());
    return true;
}

void CGlVideoWidget::Unlock() {}

bool CGlVideoWidget::Blt(const SurfaceRect &source, const SurfaceRect &destination)
{
    if (!m_pLocked)
        return false;
    m_pLocked->source = source;
    m_pLocked->destination = destination;
    m_pLocked->serial = ++m_nSerial;
    m_pLocked.reset();
    if (!m_Frames.Publish())
        ++m_nGivenUp;
    emit PictureArrived();
    return true;
}

void CGlVideoWidget::initializeGL()
{
    initializeOpenGLFunctions();
    m_bReady = m_Program.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) &&
               m_Program.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) &&
               (m_Program.bindAttributeLocation("aPos", 0), m_Program.link());
    if (!m_bReady) {
        TraceA("CGlVideoWidget: shader: %s\n", qPrintable(m_Program.log()));
        return;
    }
    static const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    m_Quad.create();
    m_Quad.bind();
    m_Quad.allocate(quad, sizeof(quad));
    m_Quad.release();
    glGenTextures(3, m_Textures);
    for (GLuint texture : m_Textures) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    m_nTextureWidth = m_nTextureHeight = 0;
    m_nUploaded = 0;
}

void CGlVideoWidget::Upload(const Frame &f)
{
    const int32_t widths[3] = {f.nWidth, f.nWidth / 2, f.nWidth / 2};
    const int32_t heights[3] = {f.nHeight, f.nHeight / 2, f.nHeight / 2};
    const int32_t pitches[3] = {f.nPitch, f.nPitch / 2, f.nPitch / 2};
    const size_t luma = static_cast<size_t>(f.nPitch) * f.nHeight;
    const size_t offsets[3] = {0, luma, luma + static_cast<size_t>(f.nPitch / 2) * (f.nHeight / 2)};
    const bool resized = f.nWidth != m_nTextureWidth || f.nHeight != m_nTextureHeight;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int plane = 0; plane < 3; ++plane) {
        if (widths[plane] <= 0 || heights[plane] <= 0)
            continue;
        glBindTexture(GL_TEXTURE_2D, m_Textures[plane]);
        // Rows are pitch bytes apart: upload them one by one where the row length cannot be
        // given (OpenGL ES 2).
        const bool rowLength = !context()->isOpenGLES() || context()->format().majorVersion() >= 3;
        if (resized)
            glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, widths[plane], heights[plane], 0,
                         GL_LUMINANCE, GL_UNSIGNED_BYTE, nullptr);
        const uint8_t *bits = f.bytes.data() + offsets[plane];
        if (rowLength) {
            glPixelStorei(0x0CF2 /* GL_UNPACK_ROW_LENGTH */, pitches[plane]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, widths[plane], heights[plane], GL_LUMINANCE,
                            GL_UNSIGNED_BYTE, bits);
            glPixelStorei(0x0CF2, 0);
        } else {
            for (int32_t r = 0; r < heights[plane]; ++r)
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, r, widths[plane], 1, GL_LUMINANCE,
                                GL_UNSIGNED_BYTE, bits + static_cast<size_t>(r) * pitches[plane]);
        }
    }
    m_nTextureWidth = f.nWidth;
    m_nTextureHeight = f.nHeight;
    m_nUploaded = f.serial;
}

void CGlVideoWidget::paintGL()
{
    m_Geometry.Update(this);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    bool fresh = false;
    const std::shared_ptr<Frame> frame = m_Frames.Next(&fresh);
    // Pictures that came while this one waited are painted each in turn.
    if (m_Frames.Waiting())
        update();
    if (!m_bReady || !frame || frame->serial == 0)
        return;
    if (frame->serial != m_nUploaded || frame->nWidth != m_nTextureWidth ||
        frame->nHeight != m_nTextureHeight)
        Upload(*frame);
    const SurfaceRect &s = frame->source, &d = frame->destination;
    const qreal ratio = devicePixelRatioF();
    const int viewportHeight = static_cast<int>(height() * ratio);
    glViewport(static_cast<int>(d.x * ratio),
               viewportHeight - static_cast<int>((d.y + d.height) * ratio),
               static_cast<int>(d.width * ratio), static_cast<int>(d.height * ratio));
    m_Program.bind();
    m_Program.setUniformValue("uSource",
                              QVector4D(float(s.x) / frame->nWidth, float(s.y) / frame->nHeight,
                                        float(s.x + s.width) / frame->nWidth,
                                        float(s.y + s.height) / frame->nHeight));
    const char *const samplers[3] = {"uY", "uU", "uV"};
    for (int plane = 0; plane < 3; ++plane) {
        glActiveTexture(GL_TEXTURE0 + plane);
        glBindTexture(GL_TEXTURE_2D, m_Textures[plane]);
        m_Program.setUniformValue(samplers[plane], plane);
    }
    m_Quad.bind();
    m_Program.enableAttributeArray(0);
    m_Program.setAttributeBuffer(0, GL_FLOAT, 0, 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    m_Program.disableAttributeArray(0);
    m_Quad.release();
    m_Program.release();
    glActiveTexture(GL_TEXTURE0);
    if (fresh)
        ++m_nPainted;
}

void CGlVideoWidget::resizeGL(int, int)
{
    m_Geometry.Update(this);
}

void CGlVideoWidget::moveEvent(QMoveEvent *event)
{
    m_Geometry.Update(this);
    QOpenGLWidget::moveEvent(event);
}

void CGlVideoWidget::showEvent(QShowEvent *event)
{
    m_Geometry.Update(this);
    QOpenGLWidget::showEvent(event);
}
