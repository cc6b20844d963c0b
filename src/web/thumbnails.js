// Live thumbnails: the newest JPEG an encoder's stream delivered, fetched only for pictures
// on screen, one request at a time per encoder and at most INTERVAL_MS apart. The browser
// revalidates with the frame's ETag, so an unchanged frame costs a 304 and no decode. The
// requests carry the signed-in session's ticket, never the token: the ticket dies with the
// session, and the token stays off the wire.
const INTERVAL_MS = 500;

export class Thumbnails {
  constructor() {
    this.ticket = null;
    this.visible = new Set();
    this.feeds = new Map(); // encoder name -> { images:Set, url, etag, timer, running }
    this.observer = new IntersectionObserver((entries) => {
      for (const entry of entries) {
        if (entry.isIntersecting) this.visible.add(entry.target);
        else this.visible.delete(entry.target);
        this.update(entry.target.dataset.encoder);
      }
    });
    document.addEventListener('visibilitychange', () => {
      for (const name of this.feeds.keys()) this.update(name);
    });
  }

  setTicket(ticket) {
    if (ticket === this.ticket) return;
    this.ticket = ticket;
    for (const name of this.feeds.keys()) this.update(name);
  }

  // Shows the encoder's frames in img (or nothing for a null name).
  show(img, name) {
    const old = img.dataset.encoder;
    if (old === (name || undefined)) return;
    if (old) this.feedOf(old).images.delete(img);
    this.observer.unobserve(img);
    this.visible.delete(img);
    if (old) this.update(old);
    img.removeAttribute('src');
    if (!name) {
      delete img.dataset.encoder;
      return;
    }
    img.dataset.encoder = name;
    const feed = this.feedOf(name);
    feed.images.add(img);
    if (feed.url) img.src = feed.url;
    this.observer.observe(img);
  }

  forget(img) {
    this.show(img, null);
  }

  feedOf(name) {
    if (!this.feeds.has(name)) this.feeds.set(name, { images: new Set(), url: null, etag: null, timer: 0, running: false });
    return this.feeds.get(name);
  }

  wanted(name, feed) {
    if (document.hidden || !this.ticket) return false;
    for (const img of feed.images) if (this.visible.has(img)) return true;
    return false;
  }

  update(name) {
    if (!name) return;
    const feed = this.feedOf(name);
    if (this.wanted(name, feed) && !feed.running) {
      feed.running = true;
      this.fetchNext(name, feed);
    }
  }

  async fetchNext(name, feed) {
    if (!this.wanted(name, feed)) {
      feed.running = false;
      return;
    }
    const started = performance.now();
    try {
      const reply = await fetch(`thumbnail/${encodeURIComponent(name)}`, {
        headers: { Authorization: `Ticket ${this.ticket}` },
        cache: 'no-cache',
      });
      const etag = reply.headers.get('ETag');
      if (reply.ok && etag !== feed.etag) {
        const blob = await reply.blob();
        const url = URL.createObjectURL(blob);
        if (feed.url) URL.revokeObjectURL(feed.url);
        feed.url = url;
        feed.etag = etag;
        for (const img of feed.images) img.src = url;
      }
    } catch {
      // The connection's own state is shown by the WebSocket; the next round tries again.
    }
    const wait = Math.max(0, INTERVAL_MS - (performance.now() - started));
    feed.timer = setTimeout(() => this.fetchNext(name, feed), wait);
  }
}
