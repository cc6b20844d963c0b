'use strict'

// What the controller last said about the installation: its decoders, encoders and walls
// with their sources and online states, its scenes and which one the screens show, kept
// current from the controller's events.

const { EventEmitter } = require('node:events')

// Events that change which devices and walls exist or what they are called: the lists are
// read again as a whole, which is rare and keeps this copy from drifting.
const STRUCTURE_EVENTS = new Set(['device.added', 'wall.created', 'wall.deleted', 'wall.changed', 'name'])

const same = (a, b) => typeof a === 'string' && typeof b === 'string' && a.toLowerCase() === b.toLowerCase()

// Events: 'lists' (devices or walls came, went or were renamed: dropdowns and presets are
// stale), 'values' (a source, an online state, power or numbers changed).
class Installation extends EventEmitter {
	constructor() {
		super()
		this.decoders = []
		this.encoders = []
		this.walls = []
		this.power = null
		this.numbers = null
		this.scenes = []
		// The saved scene the live routing equals right now, or null.
		this.activeScene = null
		// The last recall as the controller reports it: {name, running, confirmed, total, failed}.
		this.recall = null
	}

	// The controller's "state" answer.
	load(state) {
		this.decoders = state.decoders || []
		this.encoders = state.encoders || []
		this.walls = state.walls || []
		this.power = state.power ?? null
		this.numbers = state.numbers ?? null
		const scene = state.scene || {}
		this.scenes = scene.names || []
		this.activeScene = scene.active ?? null
		this.recall = scene.recall && scene.recall.name ? scene.recall : null
		this.emit('lists')
		this.emit('values')
	}

	// Keeps this copy current from a client: the whole state after each (re)connection, then
	// its events; `onError(message)` hears of a state that could not be read again.
	follow(client, onError) {
		client.on('ready', (state) => this.load(state))
		client.on('event', (name, data) => {
			if (this.apply(name, data))
				client.request('state').then(
					(state) => this.load(state),
					(error) => onError(`reading the controller's state again: ${error.message}`)
				)
		})
	}

	// One event; returns true when the lists have to be read again (see STRUCTURE_EVENTS).
	apply(name, data) {
		if (STRUCTURE_EVENTS.has(name)) return true
		if (name === 'scenes.changed') {
			this.scenes = data.names || []
			this.emit('lists')
			return false
		}
		if (name === 'source') {
			for (const entry of this.entriesNamed(data.name)) entry.source = data.source ?? null
		} else if (name === 'device.online' || name === 'device.offline') {
			for (const entry of this.entriesNamed(data.name)) entry.online = name === 'device.online'
		} else if (name === 'power') {
			this.power = data
		} else if (name === 'numbers') {
			this.numbers = data.show
		} else if (name === 'scene.active') {
			this.activeScene = data.name ?? null
		} else if (name === 'scene.recall.progress') {
			this.recall = { name: data.name, running: true }
		} else if (name === 'scene.recall.finished') {
			this.recall = data
		} else {
			return false
		}
		this.emit('values')
		return false
	}

	entriesNamed(name) {
		return [...this.decoders, ...this.encoders, ...this.walls].filter((entry) => same(entry.name, name))
	}

	find(name) {
		return this.entriesNamed(name)[0]
	}

	// Where a source can be sent: walls and the decoders that are not part of one.
	targets() {
		return [...this.walls, ...this.decoders.filter((decoder) => !decoder.wall)]
	}

	// The encoder a decoder or wall shows, by its network name, or null.
	sourceOf(target) {
		const entry = this.find(target)
		return entry && entry.source ? entry.source : null
	}

	// What a person calls the source a decoder or wall shows: the encoder's display name.
	sourceLabel(target) {
		const source = this.sourceOf(target)
		if (!source) return ''
		const encoder = this.encoders.find((candidate) => same(candidate.name, source))
		return encoder && encoder.alias ? encoder.alias : source
	}

	shows(target, source) {
		return same(this.sourceOf(target), source)
	}

	// How the last recall went, for a button's text: "" before any, then "running",
	// "done" or "N unconfirmed" (the decoders a retry sends to again).
	recallResult() {
		if (!this.recall) return ''
		if (this.recall.running) return 'running'
		const unconfirmed = (this.recall.failed || []).length
		return unconfirmed ? `${unconfirmed} unconfirmed` : 'done'
	}

	sceneActive(name) {
		return same(this.activeScene, name)
	}

	isOnline(name) {
		const entry = this.find(name)
		return Boolean(entry && entry.online)
	}
}

module.exports = { Installation }
