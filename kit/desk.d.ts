// Declarations of the desk page kit (desk.js). Every call that cannot reach the shell, or that
// the shell would drop, returns false (the reason in desk.lastError) or rejects with a DeskError.

/** Removes the listener it was returned for. */
export type Unlisten = () => void;

/** Why a call was refused or a transfer ended without a result from the shell. */
export type DeskErrorCode =
  | 'no-shell'     // no bridge: not in the shell, or not at the exact page address
  | 'invalid'      // the shell would drop the request (an id, key, address or size it does not take)
  | 'busy'         // the same transfer is under way already
  | 'empty'        // an offer of 0 bytes
  | 'no-server'    // the shell could not start its LAN server (port 0)
  | 'unreachable'  // no address of the peer answered the probe
  | 'cancelled'    // cancelled by the page before the shell was asked
  | 'aborted'      // the shell broke off an outgoing stream
  | 'read-failed'; // the page could not read or seal its own offer

/** A refusal with its reason. */
export class DeskError extends Error {
  /** What kind of refusal it is. */
  readonly code: DeskErrorCode;
}

/** A rectangle in page pixels: x, y, width, height. */
export type Rect = [x: number, y: number, w: number, h: number];

/** Anything the kit turns into a Rect: a tuple, a DOMRect-like object, or an element (its box). */
export type Shape = Rect | { x?: number; y?: number; left?: number; top?: number; width: number; height: number } | Element;

/** What the shell says it offers (window.deskCaps). */
export interface DeskCaps {
  /** Server files can be fetched. */
  files: boolean;
  /** The version of the LAN messages. */
  lan: number;
  /** Saves may name a folder ("dir"). */
  dirs: boolean;
}

/** The platform object (window.deskShell). */
export interface DeskPlatform {
  /** "win32", "linux", or "mock" for the stand-in. */
  platform: string;
  /** True in the real shell. */
  native: boolean;
}

/** Options of setShapes. */
export interface ShapeOptions {
  /** The hover zone: entering and leaving it raise the "hover" event. None: no hover at all. */
  zone?: Shape | null;
  /** Page pixels per screen pixel, 0.5 to 8; the bridge puts the device pixel ratio here anyway. */
  scale?: number;
}

/** What the user is doing, every 2 seconds: "mouse", "type", "lock", or "" for nothing lately. */
export type ActivityKind = 'mouse' | 'type' | 'lock' | '';

/** The events of desk.on and their listeners. */
export interface DeskEvents {
  /** The pointer entered (true) or left (false) the hover zone. */
  hover: (inside: boolean) => void;
  /** The activity report, every 2 seconds. */
  activity: (kind: ActivityKind) => void;
  /** Whole seconds since the last input, every 5 seconds. */
  idle: (seconds: number) => void;
  /** While the page drags the window: the cursor on the monitor the window moved to, in page pixels. */
  screenMoved: (x: number, y: number) => void;
}

/** How a saved file is handed to the user. */
export type SaveHow = 'open' | 'save';

/** A save the shell finished (deskFileDone): server fetches and LAN receptions alike. */
export interface FileResult {
  /** The identifier the save was asked with. */
  id: string;
  /** The file was saved under path. */
  ok: boolean;
  /** "open" or "save", as asked. */
  how: SaveHow;
  /** Where the file is, or where it would have been. */
  path: string;
  /** Saved, but of a kind that runs code, so only shown in its folder instead of opened. */
  blocked: boolean;
  /** A LAN transfer that broke off and can continue from its last whole record. */
  resume: boolean;
}

/** Options of files.get. */
export interface FileGetOptions {
  /** The file's id on the server: 32 hexadecimal digits after "/desk-file/". */
  id?: string;
  /** Or its whole address, which must be the server's origin + "/desk-file/" + that id. */
  url?: string;
  /** The name to save it under (cleaned and made unique by the shell). */
  name: string;
  /** A folder under the downloads folder, "/"-separated, at most 16 levels. */
  dir?: string;
  /** "open" to open it once saved; "save" (the default) only saves it. */
  how?: SaveHow;
}

/** The events of desk.files.on. */
export interface FileEvents {
  /** Every save the shell finished, whoever asked for it. */
  done: (result: FileResult) => void;
  /** An open or reveal named a file the shell did not save in this run, or that is gone. */
  gone: () => void;
}

/** Server files. */
export interface DeskFiles {
  /** Fetches a server file into the downloads folder; resolves with the shell's outcome. */
  get(options: FileGetOptions): Promise<FileResult>;
  /** Opens a file the shell saved (one that runs code is only shown); false when not sent. */
  open(path: string): boolean;
  /** Shows a file the shell saved in its folder; false when not sent. */
  reveal(path: string): boolean;
  on<E extends keyof FileEvents>(event: E, fn: FileEvents[E]): Unlisten;
}

/** The answer to an update check. */
export type UpdateResult =
  | { state: 'ready'; version: string } // an installer is downloaded and verified
  | { state: 'latest' }                 // nothing newer
  | { state: 'fail' }                   // the check failed
  | { state: 'asked' };                 // an automatic check was started; only "ready" will tell

/** Options of update.check. */
export interface UpdateCheckOptions {
  /** A manual check (the default) always gets an answer; an automatic one only a ready update. */
  manual?: boolean;
}

/** The events of desk.update.on. */
export interface UpdateEvents {
  /** An installer of this version is ready: install() starts it and the shell closes. */
  ready: (version: string) => void;
  /** The answer to a manual check with nothing to install. */
  state: (state: 'latest' | 'fail') => void;
}

/** Self-update. */
export interface DeskUpdate {
  /** The version the shell announced as ready in this page, or null. */
  readonly readyVersion: string | null;
  check(options?: UpdateCheckOptions): Promise<UpdateResult>;
  /** Starts the ready installer; false when none was announced or there is no shell. */
  install(): boolean;
  on<E extends keyof UpdateEvents>(event: E, fn: UpdateEvents[E]): Unlisten;
}

/** What a LAN offer can be made of; a File the user handed over the shell may serve itself. */
export type OfferData = File | Blob | ArrayBuffer | ArrayBufferView | string;

/** Options of lan.offer. */
export interface OfferOptions {
  /** The transfer id (32 digits or a-f); a random one when not given. */
  id?: string;
  /** The transfer key (64 hexadecimal digits), shared with the other side; random when not given. */
  key?: string;
  /** The file's name, for the page's own use (a File's name by default). */
  name?: string;
}

/** The events of an offer (every stream of it, fetched or pushed). */
export interface OfferEvents {
  /** A peer asks for records from this index; the kit feeds them. */
  pull: (from: number) => void;
  /** A stream starts at this many bytes of the file. */
  start: (bytes: number) => void;
  /** Bytes of the file sent so far. */
  progress: (bytes: number, total: number) => void;
  /** A stream sent its last record. */
  done: () => void;
  /** A stream broke off: the peer went away, or the page could not read its data. */
  abort: (error: DeskError) => void;
}

/** A file this page offers on the LAN. */
export interface LanOffer {
  readonly id: string;
  readonly key: string;
  readonly name: string;
  /** Plain size in bytes. */
  readonly size: number;
  /** The size of its record stream, as announced to the shell. */
  readonly encryptedSize: number;
  /** This machine's private IPv4 addresses. */
  readonly addrs: string[];
  /** The shell's LAN port. */
  readonly port: number;
  /** The shell reads the file itself (a File it was handed); otherwise the page feeds it. */
  readonly native: boolean;
  /** Its peer addresses, http://addr:port/id, one per address. */
  readonly urls: string[];
  on<E extends keyof OfferEvents>(event: E, fn: OfferEvents[E]): Unlisten;
  /** Sends it to a peer's prepared reception (its address and record index). */
  push(url: string, from?: number): LanPush;
  /** Withdraws it and stops its streams; false when not sent. */
  cancel(): boolean;
}

/** A transfer under way: its events, and a promise of its end. */
export interface LanTransfer<Result, Events> {
  /** The page's identifier of it. */
  readonly id: string;
  /** Settles once: the outcome, or a DeskError when the kit or the shell refused. */
  readonly done: Promise<Result>;
  on<E extends keyof Events>(event: E, fn: Events[E]): Unlisten;
}

/** The events of a push. */
export interface PushEvents {
  /** Bytes of the file sent so far. */
  progress: (bytes: number, total: number) => void;
}

/** A push of an offer; done resolves when the last record is sent (the receiver alone knows the rest). */
export interface LanPush extends LanTransfer<void, PushEvents> {
  readonly url: string;
  readonly from: number;
}

/** The events of a fetch or a push reception. */
export interface ReceiveEvents {
  /** A fetch was asked of the shell, from this address (after the probe, when there were several). */
  start: (url: string) => void;
  /** Percent (at most 99 while running) and bytes received. */
  progress: (percent: number, bytes: number) => void;
  /** A reception is ready for the push: where, and from which record the sender starts. */
  wait: (info: SinkWait) => void;
}

/** What a fetch and a reception of a push both name. */
export interface ReceiveOptions {
  /** The transfer key, 64 hexadecimal digits. */
  key: string;
  /** The file's plain size in bytes. */
  size: number;
  /** The name to save it under. */
  name: string;
  /** A folder under the downloads folder. */
  dir?: string;
  /** "open" to open it once saved. */
  how?: SaveHow;
  /** The page's identifier of the download (no quotes, backslashes or line breaks); made when not given. */
  id?: string;
}

/** Options of lan.get. */
export interface LanGetOptions extends ReceiveOptions {
  /** The offer's peer address, or several of one offer: the first that answers a probe is used. */
  url: string | string[];
}

/** A fetch of a peer's offer; done resolves with the shell's outcome (ok false included). */
export interface LanGet extends LanTransfer<FileResult, ReceiveEvents> {
  /** The transfer id (the end of the address). */
  readonly lid: string;
  /** The address fetched from, once chosen. */
  readonly url?: string;
  /** Stops it; the outcome then says ok false, resume false. */
  cancel(): boolean;
}

/** Options of lan.sinkGet. */
export interface SinkGetOptions extends ReceiveOptions {
  /** The transfer id the sender offers the file under. */
  lid: string;
}

/** Where and from where a push must come. */
export interface SinkWait {
  /** This machine's private IPv4 addresses. */
  addrs: string[];
  /** The shell's LAN port. */
  port: number;
  /** The record index the sender starts from (records already held are kept). */
  from: number;
  /** The addresses to push to, http://addr:port/lid. */
  urls: string[];
}

/** A reception prepared for a push; the shell gives up on it 40 seconds after without one. */
export interface LanSinkGet extends LanTransfer<FileResult, ReceiveEvents> {
  readonly lid: string;
  /** Resolves when the shell waits for the push; null when the reception ended first. */
  readonly ready: Promise<SinkWait | null>;
  /** Stops it; the outcome then says ok false, resume false. */
  cancel(): boolean;
}

/** Where this shell can be reached for pushes of one id. */
export interface SinkPlace {
  addrs: string[];
  port: number;
  urls: string[];
}

/** LAN transfers. */
export interface DeskLan {
  /** A random transfer id. */
  newId(): string;
  /** A random transfer key. */
  newKey(): string;
  /** The announced size of a file of this many bytes. */
  encryptedSize(plainSize: number): number;
  /** The number of records of a file of this many bytes. */
  recordCount(plainSize: number): number;
  /** http://addr:port/id for every address. */
  peerUrls(addrs: string[], port: number, id: string): string[];
  /** Offers a file; resolves once the shell serves it. */
  offer(data: OfferData, options?: OfferOptions): Promise<LanOffer>;
  /** Fetches a peer's offer into the downloads folder. */
  get(options: LanGetOptions): LanGet;
  /** Prepares a reception of a push (and asks where this shell can be reached). */
  sinkGet(options: SinkGetOptions): LanSinkGet;
  /** The first address (at most 6 are tried) whose peer knows the id, or "". */
  probe(id: string, urls: string[]): Promise<string>;
  /** Pushes an offer of this page. */
  push(id: string, url: string, from?: number): LanPush;
  /** Withdraws an offer; false when not sent. */
  cancel(id: string): boolean;
  /** Stops a fetch or a reception by its transfer id; false when not sent. */
  cancelGet(lid: string): boolean;
  /** Lets peers push under this id and tells where this shell is. */
  sink(id: string): Promise<SinkPlace>;
  /** No longer lets peers push under this id; false when not sent. */
  sinkClose(id: string): boolean;
}

/** A callback the shell ran: its global name and arguments. */
export type DeskTap = (name: string, args: unknown[]) => void;

/** Options of desk.mock. */
export interface MockOptions {
  /** The addresses the stand-in reports (private IPv4). */
  addrs?: string[];
  /** Its LAN port. */
  port?: number;
  /** The shell version it gives. */
  version?: string;
  /** The version a check finds ready, or null for none ("latest"). */
  update?: string | null;
  /** A peer fetches every offer and pushes into every reception (the default). */
  peer?: boolean;
  /** Milliseconds between its answers and steps. */
  pace?: number;
  /** The folder it pretends to save into. */
  downloads?: string;
  /** Fetches server files (so missing ones and the 20 MiB limit fail as in the shell). */
  fetchFiles?: boolean;
}

/** A message as the shell reads it (after the bridge). */
export interface PageMessage {
  t: string;
  [key: string]: unknown;
}

/** The stand-in shell. */
export interface DeskMock {
  /** Every message the page posted. */
  readonly messages: PageMessage[];
  /** What the stand-in's peer received of each offer, by transfer id. */
  readonly fetched: Map<string, Uint8Array | Blob>;
  /** Hears every message. */
  on(fn: (message: PageMessage) => void): Unlisten;
  /** A peer fetches the offer now, from record `from`; false for an unknown offer. */
  fetch(id: string, from?: number): boolean;
  /** Takes the stand-in away again. */
  stop(): void;
}

export interface Desk {
  /** The bridge is there: the page runs in the shell (or the stand-in). */
  readonly available: boolean;
  /** The shell's version, or null. */
  readonly version: string | null;
  readonly caps: DeskCaps | null;
  readonly platform: DeskPlatform | null;
  /** Why the last refused call was refused. */
  readonly lastError: string;
  /** The shapes that take the mouse; everywhere else clicks go through to the desktop. */
  setShapes(shapes: Shape[], options?: ShapeOptions): boolean;
  /** A press began (true) or ended; the bridge reports the page's own pointer presses already. */
  press(down: boolean): boolean;
  /** A file is dragged over the page: the zone takes the mouse, with a margin, to get the drop. */
  fileDrag(on: boolean): boolean;
  /** The page drags the window: it follows the cursor onto another monitor. */
  screenDrag(on: boolean): boolean;
  /** Asks for the keyboard, once per press; "game" first focuses the ".dgwin iframe". */
  focusInput(target?: 'game'): boolean;
  /** Hides the window for this many milliseconds (at most 24 hours). */
  hide(ms: number): boolean;
  /** Opens an http or https address in the user's browser (relative ones against the page). */
  open(url: string): boolean;
  on<E extends keyof DeskEvents>(event: E, fn: DeskEvents[E]): Unlisten;
  /** Hears every callback the shell runs, for a log. */
  tap(fn: DeskTap): Unlisten;
  readonly files: DeskFiles;
  readonly update: DeskUpdate;
  readonly lan: DeskLan;
  /** Installs the stand-in shell on this window. */
  mock(options?: MockOptions): DeskMock;
}

/** The kit bound to a window of one's own (the default export is bound to the page's window). */
export function createDesk(win?: object): Desk;

export const desk: Desk;
export default desk;
