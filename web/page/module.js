// Which build of the module the page loads: the one with WebAssembly SIMD where the
// browser can run it, else the one-lane build. Both give the same bits; the first is
// about twice as fast.

// The smallest module that uses a SIMD instruction: () -> v128 { i8x16.splat(0) }. A
// browser without SIMD finds it invalid.
const simdProbe = new Uint8Array([
    0x00, 0x61, 0x73, 0x6d, 0x01, 0x00, 0x00, 0x00,  // magic, version 1
    0x01, 0x05, 0x01, 0x60, 0x00, 0x01, 0x7b,        // types: one function () -> v128
    0x03, 0x02, 0x01, 0x00,                          // functions: one of type 0
    0x0a, 0x08, 0x01, 0x06, 0x00, 0x41, 0x00, 0xfd, 0x0f, 0x0b, // code: i32.const 0, i8x16.splat, end
]);

export function hasSimd(validate = bytes => WebAssembly.validate(bytes)) {
    try {
        return validate(simdProbe);
    } catch {
        return false;
    }
}

// The module's factory for this browser, and which build it is.
export async function loadModuleFactory(simd = hasSimd()) {
    const { default: create } = simd ? await import('./sphaerix.js') : await import('./sphaerix-one-lane.js');
    return { create, build: simd ? 'simd' : 'one-lane' };
}
