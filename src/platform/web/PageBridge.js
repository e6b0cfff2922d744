// Runs in the page's own world before the page's scripts. A click listener added to an element
// (or an onclick property set on it) is remembered; the "tavro-listeners" event on a document
// makes every remembered element in it fire "tavro-listener", which the page script's world
// hears, and "tavro-ask" on one element makes it fire "tavro-listener" when it is remembered.
(() => {
  const kinds = new Set(['click', 'mousedown', 'mouseup', 'pointerdown', 'pointerup', 'touchstart', 'touchend']);
  const seen = new WeakSet();
  const refs = [];
  const note = (target) => {
    if (target instanceof Element && !seen.has(target)) { seen.add(target); refs.push(new WeakRef(target)); }
  };
  const add = EventTarget.prototype.addEventListener;
  EventTarget.prototype.addEventListener = function (type, listener, options) {
    if (kinds.has(type)) note(this);
    return add.call(this, type, listener, options);
  };
  const onclick = Object.getOwnPropertyDescriptor(HTMLElement.prototype, 'onclick');
  if (onclick && onclick.set) {
    Object.defineProperty(HTMLElement.prototype, 'onclick', {
      configurable: true, enumerable: onclick.enumerable, get: onclick.get,
      set(value) { if (value) note(this); onclick.set.call(this, value); },
    });
  }
  add.call(document, 'tavro-listeners', () => {
    for (let i = refs.length - 1; i >= 0; i--) {
      const el = refs[i].deref();
      if (!el) { refs.splice(i, 1); continue; }
      if (el.isConnected && el.ownerDocument === document) el.dispatchEvent(new Event('tavro-listener', { composed: true }));
    }
  }, true);
  add.call(document, 'tavro-ask', (e) => {
    const el = e.composedPath()[0];
    if (seen.has(el)) el.dispatchEvent(new Event('tavro-listener', { composed: true }));
  }, true);
})();
