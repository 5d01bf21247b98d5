#include "app/camera.h"

#include "app/start_view.h"

float angleZ = startView.angleZ;
float angleX = startView.angleX;
float panX = startView.panX;
float panY = startView.panY;
float zoom = startView.zoom;
int lastMouseX = 0;
int lastMouseY = 0;
bool leftDrag = false;
bool rightDrag = false;

void setInteractionView(float z, float x, float pX, float pY, float wheel)
{
    angleZ = z;
    angleX = x;
    panX = pX;
    panY = pY;
    zoom = wheel;
}

void setupCamera(Scene& scene, int width, int height)
{
    // 0.4 is a float constant; the aspect ratio is formed in double, left to right,
    // and handed on as float.
    const float half = 0.4f;
    float a = half, b = half;
    if (width < height)
        b = static_cast<float>(static_cast<double>(half) * height / width);
    else
        a = static_cast<float>(static_cast<double>(half) * width / height);

    scene.projection.loadIdentity();
    scene.projection.perspective(a, b, 0.1f, 10.0f);

    scene.modelView.loadIdentity();
    scene.modelView.translate(0.0f, 0.0f, -3.0f);
    scene.modelView.translate(static_cast<float>(static_cast<double>(panX) * 0.01),
                              static_cast<float>(static_cast<double>(panY) * -0.01),
                              static_cast<float>(static_cast<double>(zoom) * 0.25));
    scene.modelView.rotateX(angleX);
    scene.modelView.rotateZ(angleZ);
}
