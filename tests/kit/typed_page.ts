// A small page that uses every call of the kit, for the type check (tsc --noEmit).
import desk, { createDesk, DeskError, type FileResult, type LanOffer, type SinkWait } from '../../kit/desk.js';

const mock = desk.available ? null : desk.mock({ pace: 100, update: null, addrs: ['10.0.0.2'] });
const hut = document.getElementById('hut')!;
const info: string = `${desk.version ?? '?'} ${desk.platform?.platform} ${desk.caps?.lan}`;
if (!desk.setShapes([hut, [0, 0, 10, 10], { x: 1, y: 2, width: 3, height: 4 }], { zone: hut, scale: 1 })) {
  console.warn(desk.lastError, info);
}
const stops = [
  desk.on('hover', (inside: boolean) => hut.classList.toggle('near', inside)),
  desk.on('activity', (kind) => kind === 'lock'),
  desk.on('idle', (seconds: number) => seconds > 60),
  desk.on('screenMoved', (x: number, y: number) => x + y),
  desk.tap((name, args) => console.log(name, args)),
  desk.files.on('done', (r: FileResult) => r.path),
  desk.files.on('gone', () => {}),
  desk.update.on('ready', (version: string) => version),
  desk.update.on('state', (state) => state === 'fail'),
];
const sent: boolean[] = [desk.press(true), desk.fileDrag(false), desk.screenDrag(true), desk.focusInput('game'),
  desk.hide(10000), desk.open('https://example.com'), desk.update.install()];

async function use(file: File): Promise<void> {
  const saved = await desk.files.get({ id: '0'.repeat(32), name: 'a.txt', how: 'open', dir: 'x' });
  if (saved.ok && !saved.blocked) desk.files.open(saved.path) || desk.files.reveal(saved.path);
  const update = await desk.update.check({ manual: true });
  if (update.state === 'ready') console.log(update.version, desk.update.readyVersion);

  const offer: LanOffer = await desk.lan.offer(file, { id: desk.lan.newId(), key: desk.lan.newKey(), name: file.name });
  offer.on('pull', (from: number) => from);
  offer.on('start', (bytes: number) => bytes);
  offer.on('progress', (bytes: number, total: number) => bytes / total);
  offer.on('done', () => {});
  offer.on('abort', (e: DeskError) => e.code === 'aborted');
  const push = offer.push(offer.urls[0], 0);
  push.on('progress', (bytes, total) => bytes < total);
  await push.done.catch((e: DeskError) => e.message);
  await desk.lan.push(offer.id, offer.urls[0], 1).done.catch(() => {});
  desk.lan.cancel(offer.id) || offer.cancel();

  const found: string = await desk.lan.probe(offer.id, offer.urls);
  const get = desk.lan.get({ url: [found, ...offer.urls], key: offer.key, size: offer.size, name: 'b', how: 'save' });
  get.on('progress', (percent: number, bytes: number) => percent + bytes);
  const got: FileResult = await get.done;
  if (!got.ok && got.resume) get.cancel() || desk.lan.cancelGet(get.lid);

  const sink = desk.lan.sinkGet({ lid: offer.id, key: offer.key, size: 5, name: 'c', dir: 'in', id: 'c1' });
  sink.on('wait', (w: SinkWait) => w.urls.join(' '));
  const wait: SinkWait | null = await sink.ready;
  if (wait) sink.cancel();
  await sink.done;
  const place = await desk.lan.sink(offer.id);
  desk.lan.sinkClose(offer.id);
  console.log(place.urls, desk.lan.peerUrls(place.addrs, place.port, offer.id), desk.lan.encryptedSize(5), desk.lan.recordCount(5));
}

use(new File(['x'], 'x.txt')).finally(() => {
  stops.forEach((stop) => stop());
  mock?.messages.forEach((m) => m.t);
  mock?.on((m) => m.t);
  mock?.fetch('0'.repeat(32), 0);
  mock?.stop();
  createDesk(window).available;
  console.log(sent, mock?.fetched.size);
});
