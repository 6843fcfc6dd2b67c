// The floor's WebAssembly module, written out byte by byte so the floor needs no compiler: one
// exported memory and fill(width, height), which paints width x height RGBA pixels of the
// game's background grey at address 1024 and returns that address. It is the least a
// WebAssembly page does to make a frame: compile, instantiate, write the pixels.
const uleb = (n) => {
  const out = [];
  do {
    let b = n & 0x7f;
    n >>>= 7;
    if (n) b |= 0x80;
    out.push(b);
  } while (n);
  return out;
};
const sleb = (n) => {
  const out = [];
  for (;;) {
    const b = n & 0x7f;
    n >>= 7;
    if ((n === 0 && !(b & 0x40)) || (n === -1 && b & 0x40)) return [...out, b];
    out.push(b | 0x80);
  }
};
const name = (s) => [...uleb(s.length), ...Buffer.from(s)];
const section = (id, body) => [id, ...uleb(body.length), ...body];

const I32 = 0x7f;
const FRAME = 1024;
const GREY = 0xffc0c0c0 | 0;  // bytes C0 C0 C0 FF: RGB(192, 192, 192), opaque

const body = [
  0x01, 0x02, I32,                                   // locals 2 (address) and 3 (end)
  0x20, 0, 0x20, 1, 0x6c, 0x41, 2, 0x74,             // width * height << 2
  0x41, ...sleb(FRAME), 0x6a, 0x21, 3,               // + FRAME -> end
  0x41, ...sleb(FRAME), 0x21, 2,                     // FRAME -> address
  0x02, 0x40, 0x03, 0x40,                            // block, loop
  0x20, 2, 0x20, 3, 0x4f, 0x0d, 1,                   //   address >= end: out
  0x20, 2, 0x41, ...sleb(GREY), 0x36, 2, 0,          //   store the pixel
  0x20, 2, 0x41, 4, 0x6a, 0x21, 2,                   //   address += 4
  0x0c, 0,                                           //   again
  0x0b, 0x0b,                                        // end loop, end block
  0x41, ...sleb(FRAME),                              // return FRAME
  0x0b,
];

export const floorWasm = Buffer.from([
  0x00, 0x61, 0x73, 0x6d, 0x01, 0x00, 0x00, 0x00,
  ...section(1, [1, 0x60, 2, I32, I32, 1, I32]),     // type 0: (i32, i32) -> i32
  ...section(3, [1, 0]),                             // function 0 of type 0
  ...section(5, [1, 0x00, 6]),                       // memory: 6 pages, room for a 328x256 frame
  ...section(7, [2, ...name('memory'), 0x02, 0, ...name('fill'), 0x00, 0]),
  ...section(10, [1, ...uleb(body.length), ...body]),
]);
