#pragma once

// The one object that holds what the page keeps between calls of the module, and the one
// draw every call of the binding goes through. web/binding/session.h is the page's view
// of it; only the binding's files include this.

#include <optional>
#include <string>
#include <vector>

#include "inspect/comparison.h"
#include "inspect/ladder.h"
#include "inspect/pixel_history.h"
#include "inspect/polygon_trace.h"
#include "inspect/rgb_image.h"
#include "raster/software_frame.h"
#include "texture/texture.h"
#include "web/binding/gl_scene.h"
#include "web/binding/session.h"

struct PageSession {
    // The texture: where it is written for the program's own reader, and its bytes as read.
    std::string texturePath = "/sphere.raw";
    std::vector<unsigned char> textureBytes;
    // The texture the scene is built on now (the page's or a conformance case's).
    Texture sceneTexture;

    // The rules later views are drawn under: the program's own until the page sets others.
    RasterRules rules;

    // The last drawn view, as its request: a history, a trace or the span ends draw that
    // frame again with their observer, which gives the same buffers bit for bit.
    std::optional<ViewRequest> drawn;

    // Made from the drawn frame, kept until it changes. The page asks for a pixel's JSON
    // and reason in turn, and for a polygon's text and JSON in turn; each would otherwise
    // draw the frame again.
    std::optional<PixelHistory> history;
    std::optional<PolygonTrace> trace;
    // The last picture, its RGB and its RGBA: the colour view's RGBA is written as the
    // frame is drawn and its RGB made only when asked for; the other views make their RGB
    // and the RGBA follows when asked for.
    RgbImage picture;
    std::vector<unsigned char> rgba;
    bool pictureMade = false, rgbaMade = false;
    // Whether rgba holds the colour buffer as the last frame left it, every pixel: only
    // then may the next colour frame of that size repaint only the columns it changes.
    bool rgbaHoldsFrame = false;
    int pictureWidth = 0, pictureHeight = 0;
    std::string viewLine;

    // The page's comparison: the frame's colours compared, the difference and its mask.
    RgbImage compared, mask;
    FrameDifference difference;
    // The page's own OpenGL frame of the drawn view (WebGL's), its caption's pixels, and
    // the last ladder run against it.
    std::optional<OpenGLFrame> openGL;
    std::vector<unsigned char> caption;
    Ladder ladder;
    // The conformance run's texture (empty: the generated sphere map), whether the scene
    // is built on it now, and the last judged case's mask.
    std::vector<unsigned char> caseTexture;
    bool sceneOnCaseTexture = false;
    RgbImage caseMask;

    // What the WebGL renderer was last handed, and other bytes handed to JavaScript as
    // views into the module's memory: valid until the next call.
    GlScene glScene;
    std::vector<unsigned char> handedOut;

    // The one way to say that what the drawn frame was made from has changed (a view, a
    // texture, the buffers drawn into by another frame): everything kept from it goes.
    void forgetFrame()
    {
        history.reset();
        trace.reset();
        rgbaHoldsFrame = false;
    }
};

PageSession& session();

// Draws `view` as the program draws its frame: the camera from the view's interaction
// state, only its first polygonLimit polygons, buffers of its size, the fill with
// `observer` (null: the plain frame, its rows cleared band by band with the fill) telling
// `finished` each band of rows it resolved. With `row` >= 0, that row alone, drawn again
// into the buffers of the same view.
void drawFrame(const ViewRequest& view, FillObserver* observer = nullptr, FinishedRows* finished = nullptr,
               int row = -1);

// Builds the scene on a texture file's bytes as the program builds it on its file, written
// at `path` in the module's file system; "" and the texture as read (when `read` is not
// null), or the reader's message without the path, and the scene as it was.
std::string buildSceneOn(const std::vector<unsigned char>& bytes, const std::string& path, Texture* read = nullptr);

// The scene's camera for `view` alone: what the texels view's records need before the
// frame is drawn.
void aimCamera(const ViewRequest& view);
