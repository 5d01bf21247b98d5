// What each view's colours mean, beside the picture.

const keys = {
    color: 'The frame as the program shows it.',
    depth: 'Grey from black at the nearest to white at the farthest depth drawn in this frame; ' +
        'steel blue where nothing was drawn.',
    normals: 'The eye-space unit normal that indexed the sphere map: x, y, z from -1 to 1 as red, ' +
        'green, blue from 0 to 255; white where nothing was drawn.',
    overdraw: 'Fragments tested per pixel: 1 dark blue, 2 light blue, 3 green, 4 yellow, 5 orange, ' +
        '6 red, 7 or more magenta (the key is in the lower left); white for none.',
    polygons: 'Each pixel in a colour of the polygon that won it; neighbouring polygons differ.',
    edges: 'The colour image with the first and last covered column of every span marked: red where ' +
        'that fragment shows, halfway to yellow where it failed the depth test or was drawn over.',
    texels: 'The 256x256 sphere map, each texel 2x2 pixels, top row up: texels a passing fragment ' +
        'looked up at full strength, the others at a quarter. Select pixels in the other views.',
};

export function showViewKey(keyElement, lineElement, view, line) {
    keyElement.textContent = keys[view] ?? '';
    lineElement.textContent = line;
    lineElement.hidden = !line;
}
