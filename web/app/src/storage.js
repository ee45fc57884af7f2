// What survives a reload: the source, an image opened from a file, the
// breakpoints, the open inspectors and the view options. A damaged or
// foreign entry is ignored.
const Key = 'tavora.page.v1';
const MaxImageChars = 1024 * 1024;  // larger images are not kept

export function loadSaved() {
  try {
    const saved = JSON.parse(localStorage.getItem(Key) || 'null');
    if (!saved || typeof saved !== 'object' || saved.version !== 1) return null;
    const result = {
      source: typeof saved.source === 'string' ? saved.source : null,
      name: typeof saved.name === 'string' ? saved.name : 'quelltext.s',
      image: null,
      breakpoints: Array.isArray(saved.breakpoints) ? saved.breakpoints.filter((b) => b && typeof b === 'object') : [],
      inspectors: Array.isArray(saved.inspectors) ? saved.inspectors.filter((a) => Number.isInteger(a) && a >= 0 && a <= 0xffffffff) : [],
      options: saved.options && typeof saved.options === 'object' ? saved.options : {},
    };
    if (saved.image && typeof saved.image.name === 'string' && typeof saved.image.text === 'string') {
      result.image = { name: saved.image.name, text: saved.image.text };
    }
    return result;
  } catch {
    return null;
  }
}

export function save(state) {
  const image = state.image && state.image.text.length <= MaxImageChars ? state.image : null;
  try {
    localStorage.setItem(Key, JSON.stringify({ version: 1, ...state, image }));
  } catch {
    // Storage full or switched off: the page goes on without it.
  }
}
