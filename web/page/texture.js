// The texture choice: our generated sphere map, or a file the user gives (a sphere.raw,
// or a PNG or PPM that the module resamples as the sphere-map tool's import does).
import { decodeImage, toSamples } from './image.js';

const rawSize = 256 * 256 * 3;

// { problem: "" or a message naming the file and what is wrong (the texture is unchanged
// then), image: whether it was a PNG or PPM rather than a sphere.raw }.
export async function loadTextureFile(m, name, bytes) {
    const { image, error, notImage } = await decodeImage(m, name, bytes);
    if (!notImage) {
        const problem = error || m.importImageTexture(toSamples(image), image.width, image.height);
        return { problem: problem && !error ? `"${name}": ${problem}` : problem, image: true };
    }
    if (!/\.raw$/i.test(name) && bytes.length < rawSize)
        return { problem: `"${name}" is neither a PNG, a PPM nor a sphere.raw (${rawSize} bytes; it has ${bytes.length})` };
    const problem = m.loadRawTexture(bytes);
    return { problem: problem ? `"${name}": ${problem}` : '', image: false };
}

export function useGenerated(m) {
    return m.useGeneratedTexture();
}
